// Name comparisons of the filter: item names and program names are compared without regard to
// ASCII case (the engine upper-cases what it stores; bytes 0x80-0xFF compare as they are).
#pragma once

#include <string>
#include <string_view>

namespace vestrald {

std::string upperAscii(std::string_view text);
bool equalsNoCase(std::string_view a, std::string_view b);

// True when `text` matches `pattern`, where '*' stands for any run of bytes ('/' included).
bool wildcardMatch(std::string_view pattern, std::string_view text);

// True when `path` is the item itself or lies below it. The item may end in '/', hold '*'
// wildcards or end in '*'; a folder item covers everything under it.
bool itemCoversPath(std::string_view itemName, std::string_view path);

// The last component of a path ("/usr/bin/vim" -> "vim").
std::string_view baseName(std::string_view path);

// True for the executable file names the filter guards: .exe, .com, .bat, .dll in any case.
bool isExecutableName(std::string_view path);

}  // namespace vestrald

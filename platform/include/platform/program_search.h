// Finding a program file by its bare name: first in the program directory, then along PATH, the
// way the system's own search for a name without a directory goes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The longest path a search may yield; longer candidates are skipped.
inline constexpr size_t kMaxSearchPath = 1024;

// The full path of the first executable regular file called `name` in `programDir`, then in each
// folder of `searchPath` (':'-separated; an empty entry is the current folder, an empty
// `searchPath` names no folder). Empty when none
// is found or `name` holds a '/'.
std::optional<std::string> findProgramFile(std::string_view name, std::string_view programDir,
                                           std::string_view searchPath);

// The same search with the running program's directory and $PATH.
std::optional<std::string> findProgramFile(std::string_view name);

}  // namespace platform

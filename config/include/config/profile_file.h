// Reading and writing profile files (Corvantis.ini): sections opened by "[name]" lines holding
// "key=value" lines. Section and key names are compared without regard to case (ASCII letters),
// the first '=' ends a key, and keys and values are read without the blanks around them. A
// missing file reads as empty and the first write creates it. Where a section or a key occurs
// twice, the first occurrence wins. Lines without '=' are kept but hold no value.
//
// Three processes share the file (panel, service, engine inside the service). Every write is one
// atomic replacement of the whole file, made while holding an advisory lock on a companion file
// ("<file>.lock"), so readers never see a torn file and writers never lose each other's keys.
// Reads go through a process-wide cache checked against the file's identity (device, inode,
// size, modification time) on every call: an unchanged file is not parsed again, a changed one
// is seen at once. Every function is safe to call from several threads.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/profile_document.h"

namespace config {

// The parsed contents of the file at `path` as they are now (an empty document when the file is
// missing or cannot be read). Use it to read several values from one consistent state.
std::shared_ptr<const ProfileDocument> loadProfile(const std::string& path);

// The value of `key` in `section`, without the blanks around it, cut to at most `maxChars`
// bytes; `defaultValue`, cut the same way, when the file, the section or the key is missing.
// (A reader with a buffer of n characters, terminating zero included, passes n - 1.)
std::string readProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue, size_t maxChars);

// Every key=value line of `section` in file order, keys and values trimmed, a key that occurs
// again keeping only its first line. Empty when the file or the section is missing.
std::vector<ProfileEntry> readProfileSection(const std::string& path, std::string_view section);

// Writes key=value into `section`: replaces the value where the key stands, else adds the line
// at the end of the section, else adds the section at the end of the file. Every other line
// stays as it is. Returns true when the file holds the value afterwards; false when the file
// could not be read or replaced, or when the names or the value cannot be stored in a line
// (see ProfileDocument::setValue).
bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

// Removes every line of `section` except its header (the header is added when the section is
// missing). Returns true when the file holds the empty section afterwards.
bool emptyProfileSection(const std::string& path, std::string_view section);

// Runs `edit` on the file's current contents while holding the writers' lock and stores the
// result in one atomic replacement, so a group of changes (empty a section, then fill it) is
// seen by readers all at once or not at all. `edit` returns false to abandon the change.
// Returns true when the change was stored (or left the contents unchanged).
bool updateProfile(const std::string& path, const std::function<bool(ProfileDocument&)>& edit);

}  // namespace config

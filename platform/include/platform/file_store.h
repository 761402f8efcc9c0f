// Whole-file reads and atomic whole-file replacement, for small files that several processes
// share (the configuration file). A reader either sees the old contents or the new, never a mix.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// What identifies one state of a file: a replacement gives a new inode, an edit in place a new
// size or modification time.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modifiedNs = 0;  // modification time, nanoseconds since 1970
    bool operator==(const FileIdentity&) const = default;
};

enum class FileReadStatus { Ok, Missing, Failed };

struct FileSnapshot {
    FileReadStatus status = FileReadStatus::Missing;
    std::string content;    // Ok only
    FileIdentity identity;  // Ok only: of the very file the content was read from
};

// The identity of the file at `path` now; nothing when it is missing or cannot be examined.
std::optional<FileIdentity> fileIdentity(const std::string& path);

// Reads the whole file. Missing: the file or a folder on its path does not exist. Failed: it
// exists but could not be read (permissions, an I/O error, not a regular file).
FileSnapshot readFileSnapshot(const std::string& path);

// Writes `content` to a temporary file in the same folder, flushes it to disk and renames it over
// `path`. The new file takes the mode and owner of the file it replaces (mode 0660 for a new
// file), and a modification time later than the replaced file's, so that its identity differs
// from every earlier state even within one clock tick. Returns the new file's identity, or
// nothing on failure (the old file is then untouched and no temporary file is left).
std::optional<FileIdentity> replaceFileAtomically(const std::string& path,
                                                  std::string_view content);

}  // namespace platform

// A refused creation leaves an empty file behind: the kernel creates the file before it asks
// the filter whether the open may proceed. These helpers recognise such a file from the
// event's descriptor and remove it after the denial.
#pragma once

#include <string>

namespace vestrald {

// True when the descriptor refers to an empty regular file born within the last two seconds.
bool looksJustCreated(int eventFd);

// Removes `path` when it still names the same empty file as `eventFd`. True when removed.
bool removeCreatedFile(int eventFd, const std::string& path);

}  // namespace vestrald

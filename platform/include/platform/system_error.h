// The system's error codes and texts, and the facts about the running system that the engine asks.
#pragma once

#include <string>

namespace platform {

// The code of the last failed system call on this thread (errno).
int lastSystemError();
// The system's text for an error code.
std::string systemErrorText(int code);
// The code a system call reports for a handle that is not open (EBADF).
int invalidHandleError();
// Whether the system is of the family the engine requires; always true here.
bool isNtFamily();

}  // namespace platform

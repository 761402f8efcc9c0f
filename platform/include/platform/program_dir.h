// The program directory: the folder of the running process's executable (not of a library it
// loaded). The configuration file, the log folder and the driver file are looked for there.
#pragma once

#include <string>

namespace platform {

// $CORVANTIS_PROGRAM_DIR when set, else the folder of /proc/self/exe; always ends in '/'.
// Formed anew on every call.
std::string programDirectory();

}  // namespace platform

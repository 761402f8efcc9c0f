// The local computer's name.
#pragma once

#include <string>

namespace platform {

// The host name (gethostname), whole; empty when it cannot be read.
std::string hostName();

}  // namespace platform

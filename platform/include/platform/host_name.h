// The name of this computer, as it introduces itself to network peers.
#pragma once

#include <string>

namespace platform {

// The host name; "localhost" when it cannot be read or holds bytes other than printable ASCII
// (it goes into protocol lines as it stands).
std::string localHostName();

}  // namespace platform

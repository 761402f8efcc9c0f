// Where the system's configuration lives and the names of its sections.
#pragma once

#include <string>

namespace config {

inline constexpr char kConfigFileName[] = "Corvantis.ini";
inline constexpr char kAdvancedSection[] = "Advanced";
inline constexpr char kProtectionSection[] = "protection";

// "Corvantis.ini" in the program directory ($CORVANTIS_PROGRAM_DIR or the folder of the running
// executable). Formed anew on every call: callers ask for it before each access.
std::string configFilePath();

}  // namespace config

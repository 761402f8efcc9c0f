// Starting programs detached from the caller and recognising them later. Internal to platform.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform::detail {

// A process, recognised by its pid and its start time (so that a reused pid is not mistaken
// for it).
struct ProcessId {
    int pid = 0;
    unsigned long long startTime = 0;
};

// Splits a command line into arguments at blanks; a part in double quotes keeps its blanks.
std::vector<std::string> splitCommandLine(const std::string& line);

// Starts argv[0] with argv in a new session, re-parented away from the caller, standard streams
// on /dev/null, the caller's environment plus `extraEnvironment` ("NAME=value"). Empty on
// failure (also when the program cannot be executed); *error gets the errno value.
std::optional<ProcessId> spawnDetached(const std::vector<std::string>& argv,
                                       const std::vector<std::string>& extraEnvironment,
                                       int* error);

// The start time of a live process (not a zombie); empty when it is gone.
std::optional<unsigned long long> processStartTime(int pid);

// Whether the process still runs.
bool isAlive(const ProcessId& process);

}  // namespace platform::detail

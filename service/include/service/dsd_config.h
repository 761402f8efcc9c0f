// The service's settings, read from section "Advanced" of the configuration file at every start
// and read by the start and stop handlers until the next start.
#pragma once

namespace service {

struct DSDSettings {
    bool DataAlert = true;    // ask the user in a pop-up; false: deny without asking
    bool DataProtect = true;  // load the items and switch protection on
    bool TjDfd = true;        // executable protection
};

// The one instance of the service process.
extern DSDSettings DSDConfig;

// Fills DSDConfig from DataAlert, DataProtect and TjDfd (each "YES" when missing). The
// comparisons are exact: DataAlert is on only for "YES"; DataProtect and TjDfd are off only
// for "NO".
void loadSettings();

}  // namespace service

// The system event log: messages of the service about its start, stop and failures.
#pragma once

#include <string_view>

namespace platform {

enum class EventType { Information, Warning, Error };

// Writes `text` to syslog with `source` as its ident (information LOG_INFO, warning
// LOG_WARNING, error LOG_ERR). When CORVANTIS_EVENT_LOG names a file, also appends one line
// "TYPE<TAB>SOURCE<TAB>TEXT" to it, TYPE being INFORMATION, WARNING or ERROR (tabs and line
// breaks inside source and text become blanks). Failures are ignored.
void writeEventLog(EventType type, std::string_view source, std::string_view text);

}  // namespace platform

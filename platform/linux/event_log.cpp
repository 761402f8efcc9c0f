#include "platform/event_log.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "platform/unique_fd.h"

namespace platform {
namespace {

// syslog keeps the pointer handed to openlog, and other threads may log at any moment, even
// while the process exits: every ident ever used stays alive (set nodes never move, the set is
// never destroyed). Guarded by the mutex.
std::mutex gSyslogMutex;
std::set<std::string, std::less<>>& syslogIdents() {
    static auto* idents = new std::set<std::string, std::less<>>;
    return *idents;
}
const std::string* gSyslogIdent = nullptr;

std::string oneLine(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return result;
}

void appendToFile(const char* file, EventType type, std::string_view source,
                  std::string_view text) {
    const char* typeName = type == EventType::Error     ? "ERROR"
                           : type == EventType::Warning ? "WARNING"
                                                        : "INFORMATION";
    std::string line = std::string(typeName) + '\t' + oneLine(source) + '\t' + oneLine(text) + '\n';
    UniqueFd fd(::open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640));
    if (!fd)
        return;
    // One write per line: O_APPEND keeps lines of concurrent writers whole.
    (void)!::write(fd.get(), line.data(), line.size());
}

}  // namespace

void writeEventLog(EventType type, std::string_view source, std::string_view text) {
    const int priority = type == EventType::Error     ? LOG_ERR
                         : type == EventType::Warning ? LOG_WARNING
                                                      : LOG_INFO;
    {
        std::lock_guard<std::mutex> lock(gSyslogMutex);
        if (!gSyslogIdent || *gSyslogIdent != source) {
            gSyslogIdent = &*syslogIdents().emplace(source).first;
            ::openlog(gSyslogIdent->c_str(), LOG_PID, LOG_DAEMON);
        }
        ::syslog(priority, "%.*s", static_cast<int>(text.size()), text.data());
    }
    if (const char* file = std::getenv("CORVANTIS_EVENT_LOG"); file && *file) {
        appendToFile(file, type, source, text);
    }
}

}  // namespace platform

#include "process_control.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/unique_fd.h"

extern char** environ;

namespace platform::detail {

std::vector<std::string> splitCommandLine(const std::string& line) {
    std::vector<std::string> parts;
    std::string current;
    bool inQuotes = false;
    bool started = false;
    for (char c : line) {
        if (c == '"') {
            inQuotes = !inQuotes;
            started = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (started)
                parts.push_back(std::move(current));
            current.clear();
            started = false;
        } else {
            current += c;
            started = true;
        }
    }
    if (started)
        parts.push_back(std::move(current));
    return parts;
}

std::optional<unsigned long long> processStartTime(int pid) {
    if (pid <= 0)
        return std::nullopt;
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(file, stat))
        return std::nullopt;
    // "pid (comm) state ..." where comm may hold ')' itself: fields resume after the last one.
    size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    fields >> state;
    if (state.empty() || state == "Z" || state == "X")
        return std::nullopt;
    std::string skip;
    for (int i = 0; i < 18; ++i)
        fields >> skip;  // fields 4 to 21
    unsigned long long startTime = 0;
    if (!(fields >> startTime))
        return std::nullopt;
    return startTime;
}

bool isAlive(const ProcessId& process) {
    auto startTime = processStartTime(process.pid);
    return startTime && *startTime == process.startTime;
}

namespace {

// Runs in the grandchild, between fork and exec: async-signal-safe calls only.
[[noreturn]] void execDetached(char* const* argv, char* const* envp, int statusFd) {
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (null > 2)
            ::close(null);
    }
    // Nothing else the caller holds open may leak into a long-running program.
    ::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
    sigset_t all;
    sigemptyset(&all);
    ::sigprocmask(SIG_SETMASK, &all, nullptr);
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &standard, nullptr);
    ::sigaction(SIGTERM, &standard, nullptr);
    ::sigaction(SIGINT, &standard, nullptr);
    ::execve(argv[0], argv, envp);
    int error = errno;
    ssize_t ignored = ::write(statusFd, &error, sizeof(error));
    (void)ignored;
    ::_exit(127);
}

}  // namespace

std::optional<ProcessId> spawnDetached(const std::vector<std::string>& argv,
                                       const std::vector<std::string>& extraEnvironment,
                                       int* error) {
    auto fail = [error](int code) -> std::optional<ProcessId> {
        if (error)
            *error = code;
        return std::nullopt;
    };
    if (argv.empty() || argv[0].empty())
        return fail(ENOENT);

    // Everything the child needs is prepared here: after fork only async-signal-safe calls.
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view item(*entry);
        bool replaced = false;
        for (const std::string& extra : extraEnvironment) {
            size_t eq = extra.find('=');
            if (item.substr(0, eq + 1) == std::string_view(extra).substr(0, eq + 1))
                replaced = true;
        }
        if (!replaced)
            environment.emplace_back(item);
    }
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> args, envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    int pidPipe[2], statusPipe[2];
    if (::pipe2(pidPipe, O_CLOEXEC) != 0)
        return fail(errno);
    UniqueFd pidRead(pidPipe[0]), pidWrite(pidPipe[1]);
    if (::pipe2(statusPipe, O_CLOEXEC) != 0)
        return fail(errno);
    UniqueFd statusRead(statusPipe[0]), statusWrite(statusPipe[1]);

    pid_t child = ::fork();
    if (child < 0)
        return fail(errno);
    if (child == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild == 0)
            execDetached(args.data(), envp.data(), statusWrite.get());
        int value = grandchild;
        ssize_t ignored = ::write(pidWrite.get(), &value, sizeof(value));
        (void)ignored;
        ::_exit(grandchild < 0 ? 1 : 0);
    }
    pidWrite.reset();
    statusWrite.reset();
    int childStatus = 0;
    while (::waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
    }
    int pid = -1;
    if (::read(pidRead.get(), &pid, sizeof(pid)) != sizeof(pid) || pid <= 0)
        return fail(EAGAIN);

    // The status pipe closes on a successful exec and carries errno when exec failed.
    int execError = 0;
    ssize_t n;
    do {
        n = ::read(statusRead.get(), &execError, sizeof(execError));
    } while (n < 0 && errno == EINTR);
    if (n == sizeof(execError))
        return fail(execError);

    auto startTime = processStartTime(pid);
    // A program that ended at once still was started; it is recognised as gone later.
    return ProcessId{pid, startTime.value_or(0)};
}

}  // namespace platform::detail

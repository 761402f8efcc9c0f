#include "platform/local_service_manager.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/device_channel.h"
#include "process_control.h"

namespace platform {

namespace {

constexpr const char* kDefaultRegistryDir = "/var/lib/corvantis/scm";
constexpr std::chrono::milliseconds kStartPoll{20};

bool validName(const std::string& name) {
    return !name.empty() && name.size() <= 256 && name != "." && name != ".." &&
           name.find_first_of("/\n\r=") == std::string::npos;
}

bool validValue(const std::string& value) {
    return value.find_first_of("\n\r") == std::string::npos;
}

bool makeFolders(const std::string& path) {
    std::string partial;
    std::istringstream parts(path);
    std::string part;
    if (!path.empty() && path[0] == '/')
        partial = "/";
    while (std::getline(parts, part, '/')) {
        if (part.empty())
            continue;
        partial += part + "/";
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Writes a whole file under a temporary name and moves it into place, so that readers never see
// half of it. With `exclusive`, fails (EEXIST) instead of replacing an existing file.
bool writeFileAtomically(const std::string& path, const std::string& content, bool exclusive,
                         int* error) {
    std::string temporary =
        path + ".tmp." + std::to_string(::getpid()) + "." +
        std::to_string(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << content;
        file.flush();
        if (!file) {
            *error = errno ? errno : EIO;
            ::unlink(temporary.c_str());
            return false;
        }
    }
    int rc = exclusive ? ::link(temporary.c_str(), path.c_str())
                       : ::rename(temporary.c_str(), path.c_str());
    *error = rc == 0 ? 0 : errno;
    if (exclusive || rc != 0)
        ::unlink(temporary.c_str());
    return rc == 0;
}

std::string formatConfig(const ServiceConfig& c) {
    std::ostringstream out;
    out << "DisplayName=" << c.displayName << "\n"
        << "Type=" << static_cast<uint32_t>(c.type) << "\n"
        << "Interactive=" << (c.interactive ? 1 : 0) << "\n"
        << "StartType=" << static_cast<uint32_t>(c.startType) << "\n"
        << "ErrorControl=" << static_cast<uint32_t>(c.errorControl) << "\n"
        << "BinaryPath=" << c.binaryPath << "\n"
        << "LoadOrderGroup=" << c.loadOrderGroup << "\n";
    for (const std::string& d : c.dependencies)
        out << "Dependency=" << d << "\n";
    for (const std::string& d : c.devices)
        out << "Device=" << d << "\n";
    return out.str();
}

std::optional<uint32_t> parseNumber(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value > 0xFFFFFFFFul)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::optional<ServiceConfig> parseConfig(const std::string& name, std::istream& in) {
    ServiceConfig c;
    c.name = name;
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "DisplayName") {
            c.displayName = value;
        } else if (key == "BinaryPath") {
            c.binaryPath = value;
        } else if (key == "LoadOrderGroup") {
            c.loadOrderGroup = value;
        } else if (key == "Dependency") {
            c.dependencies.push_back(value);
        } else if (key == "Device") {
            c.devices.push_back(value);
        } else if (auto number = parseNumber(value)) {
            if (key == "Type")
                c.type = static_cast<ServiceType>(*number);
            if (key == "Interactive")
                c.interactive = *number != 0;
            if (key == "StartType")
                c.startType = static_cast<StartType>(*number);
            if (key == "ErrorControl")
                c.errorControl = static_cast<ErrorControl>(*number);
        }
    }
    return c;
}

std::optional<detail::ProcessId> readProcess(const std::string& path) {
    std::ifstream file(path);
    detail::ProcessId process;
    if (!(file >> process.pid >> process.startTime) || process.pid <= 0)
        return std::nullopt;
    return process;
}

bool deviceExists(const std::string& name) {
    struct stat info {};
    std::string path = deviceDirectory() + "/" + name;
    return ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

}  // namespace

std::string LocalServiceManager::defaultRegistryDir() {
    const char* dir = std::getenv("CORVANTIS_SCM_DIR");
    return (dir && *dir) ? dir : kDefaultRegistryDir;
}

std::unique_ptr<LocalServiceManager> LocalServiceManager::open(const std::string& registryDir) {
    if (registryDir.empty() || !makeFolders(registryDir))
        return nullptr;
    return std::unique_ptr<LocalServiceManager>(new LocalServiceManager(registryDir));
}

std::string LocalServiceManager::pathOf(const std::string& name, const char* suffix) const {
    return dir_ + "/" + name + suffix;
}

bool LocalServiceManager::exists(const std::string& name) {
    if (!validName(name))
        return fail(ServiceError::NotFound);
    struct stat info {};
    if (::stat(pathOf(name, ".conf").c_str(), &info) != 0)
        return fail(ServiceError::NotFound);
    return succeed();
}

std::optional<ServiceConfig> LocalServiceManager::config(const std::string& name) {
    if (!validName(name)) {
        fail(ServiceError::NotFound);
        return std::nullopt;
    }
    std::ifstream file(pathOf(name, ".conf"));
    if (!file) {
        fail(ServiceError::NotFound);
        return std::nullopt;
    }
    succeed();
    return parseConfig(name, file);
}

bool LocalServiceManager::create(const ServiceConfig& c) {
    bool valuesOk = validName(c.name) && validValue(c.displayName) && validValue(c.binaryPath) &&
                    validValue(c.loadOrderGroup) && !c.binaryPath.empty();
    for (const std::string& d : c.dependencies)
        valuesOk = valuesOk && validName(d);
    for (const std::string& d : c.devices)
        valuesOk = valuesOk && validName(d);
    if (!valuesOk)
        return fail(ServiceError::BadConfig);
    int error = 0;
    if (!writeFileAtomically(pathOf(c.name, ".conf"), formatConfig(c), true, &error)) {
        return error == EEXIST ? fail(ServiceError::Exists)
                               : fail(ServiceError::SystemError, error);
    }
    return succeed();
}

bool LocalServiceManager::remove(const std::string& name) {
    if (!exists(name))
        return false;
    if (::unlink(pathOf(name, ".conf").c_str()) != 0)
        return fail(ServiceError::SystemError, errno);
    ::unlink(pathOf(name, ".status").c_str());
    ::unlink(pathOf(name, ".pid").c_str());
    return succeed();
}

std::optional<ServiceState> LocalServiceManager::query(const std::string& name) {
    auto c = config(name);
    if (!c)
        return std::nullopt;
    succeed();
    auto process = readProcess(pathOf(name, ".pid"));
    if (!process || !detail::isAlive(*process))
        return ServiceState::Stopped;
    if (c->type == ServiceType::KernelDriver) {
        for (const std::string& device : c->devices) {
            if (!deviceExists(device))
                return ServiceState::StartPending;
        }
        return ServiceState::Running;
    }
    std::ifstream file(pathOf(name, ".status"));
    uint32_t reported = 0;
    if (!(file >> reported) || reported < 1 || reported > 4)
        return ServiceState::StartPending;
    // A live process that reported Stopped is on its way out.
    if (reported == static_cast<uint32_t>(ServiceState::Stopped))
        return ServiceState::StopPending;
    return static_cast<ServiceState>(reported);
}

bool LocalServiceManager::start(const std::string& name) {
    std::set<std::string> starting;
    return startWithDependencies(name, starting);
}

bool LocalServiceManager::startWithDependencies(const std::string& name,
                                                std::set<std::string>& starting) {
    auto c = config(name);
    if (!c)
        return false;
    if (c->startType == StartType::Disabled)
        return fail(ServiceError::Disabled);
    auto state = query(name);
    if (state && *state != ServiceState::Stopped)
        return fail(ServiceError::AlreadyRunning);
    starting.insert(name);
    for (const std::string& dependency : c->dependencies) {
        if (starting.count(dependency))
            return fail(ServiceError::DependencyFailed);  // a dependency cycle
        auto dependencyState = query(dependency);
        if (!dependencyState)
            return fail(ServiceError::DependencyFailed);
        if (*dependencyState == ServiceState::Stopped &&
            !startWithDependencies(dependency, starting))
            return fail(ServiceError::DependencyFailed);
        if (waitWhileStarting(dependency) != ServiceState::Running)
            return fail(ServiceError::DependencyFailed);
    }
    starting.erase(name);  // only the chain being started counts as a cycle
    std::vector<std::string> argv = detail::splitCommandLine(c->binaryPath);
    ::unlink(pathOf(name, ".status").c_str());  // before the start: the program reports anew
    int error = 0;
    auto process = detail::spawnDetached(
        argv, {"CORVANTIS_SCM_DIR=" + dir_, "CORVANTIS_SCM_SERVICE=" + name}, &error);
    if (!process)
        return fail(ServiceError::SystemError, error);
    std::string record = std::to_string(process->pid) + " " + std::to_string(process->startTime);
    if (!writeFileAtomically(pathOf(name, ".pid"), record + "\n", false, &error))
        return fail(ServiceError::SystemError, error);
    // A kernel driver is loaded before the start returns: wait until its devices exist, or its
    // process is gone (the driver did not load).
    if (c->type == ServiceType::KernelDriver && waitWhileStarting(name) == ServiceState::Stopped)
        return fail(ServiceError::SystemError, ECHILD);
    return succeed();
}

std::optional<ServiceState> LocalServiceManager::waitWhileStarting(const std::string& name) {
    auto waited = std::chrono::milliseconds(0);
    for (;;) {
        auto state = query(name);
        if (state != ServiceState::StartPending || waited >= dependencyLimit_)
            return state;
        if (sleep_) {
            sleep_(kStartPoll);
        } else {
            std::this_thread::sleep_for(kStartPoll);
        }
        waited += kStartPoll;
    }
}

bool LocalServiceManager::stop(const std::string& name) {
    auto c = config(name);
    if (!c)
        return false;
    auto process = readProcess(pathOf(name, ".pid"));
    if (!process || !detail::isAlive(*process))
        return fail(ServiceError::NotActive);
    if (::kill(process->pid, SIGTERM) != 0)
        return fail(ServiceError::SystemError, errno);
    if (c->type != ServiceType::KernelDriver)
        reportStatus(dir_, name, ServiceState::StopPending);
    return succeed();
}

bool LocalServiceManager::adoptProcess(const std::string& name, int pid) {
    if (!exists(name))
        return false;
    auto startTime = detail::processStartTime(pid);
    if (!startTime)
        return fail(ServiceError::SystemError, ESRCH);
    int error = 0;
    std::string record = std::to_string(pid) + " " + std::to_string(*startTime) + "\n";
    if (!writeFileAtomically(pathOf(name, ".pid"), record, false, &error))
        return fail(ServiceError::SystemError, error);
    return succeed();
}

void LocalServiceManager::setDependencyWait(std::chrono::milliseconds limit, Sleep sleep) {
    dependencyLimit_ = limit;
    sleep_ = std::move(sleep);
}

bool LocalServiceManager::reportStatus(const std::string& registryDir, const std::string& name,
                                       ServiceState state) {
    if (!validName(name))
        return false;
    int error = 0;
    return writeFileAtomically(registryDir + "/" + name + ".status",
                               std::to_string(static_cast<uint32_t>(state)) + "\n", false, &error);
}

std::unique_ptr<ServiceManager> openServiceManager() {
    // The systemd manager is not built yet: every machine uses the local one for now.
    return LocalServiceManager::open(LocalServiceManager::defaultRegistryDir());
}

}  // namespace platform

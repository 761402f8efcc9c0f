#include "fake_driver.h"

#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "item_tables.h"
#include "platform/device_server.h"
#include "platform/local_service_manager.h"

namespace fake {

namespace fs = std::filesystem;
namespace device = platform::device;

struct FakeDriver::Connection {
    int id = 0;
    std::string device;
    platform::UniqueFd fd;
    std::thread thread;
    std::atomic<bool> done{false};
};

namespace {

uint32_t deviceTypeOf(uint32_t code) {
    return code >> 16;
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string textOf(const char* field, size_t width) {
    return std::string(field, ::strnlen(field, width));
}

}  // namespace

FakeDriver::FakeDriver() : table_(std::make_unique<ItemTable>()) {
    char pattern[] = "/tmp/cv-fakedrv-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    listen();
}

FakeDriver::~FakeDriver() {
    stop();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

void FakeDriver::useForEngine() const {
    ::setenv("VESTRAL_DEVICE_DIR", dir_.c_str(), 1);
}

void FakeDriver::installAsDriverService(const std::string& programDir) const {
    useForEngine();
    std::string scmDir = dir_ + "/scm";
    ::setenv("CORVANTIS_SCM_DIR", scmDir.c_str(), 1);
    std::string driverFile = programDir + "/" + VESTRAL_DRIVER_FILE;
    if (!fs::exists(driverFile)) {
        std::ofstream(driverFile) << "#!/bin/sh\nexit 0\n";
        fs::permissions(driverFile, fs::perms::owner_all, fs::perm_options::add);
    }
    auto scm = platform::LocalServiceManager::open(scmDir);
    if (!scm)
        throw std::runtime_error("cannot open the service registry " + scmDir);
    platform::ServiceConfig config;
    config.name = VESTRAL_DRIVER_SERVICE;
    config.displayName = VESTRAL_DRIVER_SERVICE;
    config.type = platform::ServiceType::KernelDriver;
    config.startType = platform::StartType::Automatic;
    config.binaryPath = driverFile;
    config.devices = {VESTRAL_MONITOR_DEVICE, VESTRAL_CONTROL_DEVICE};
    scm->create(config);
    if (!scm->adoptProcess(VESTRAL_DRIVER_SERVICE, static_cast<int>(::getpid())))
        throw std::runtime_error("cannot register the fake driver service");
}

// ---- Serving --------------------------------------------------------------------------------

void FakeDriver::listen() {
    int error = 0;
    monitorListener_ = device::listenOnDevice(dir_ + "/" + VESTRAL_MONITOR_DEVICE, 0660, &error);
    controlListener_ = device::listenOnDevice(dir_ + "/" + VESTRAL_CONTROL_DEVICE, 0660, &error);
    if (!monitorListener_ || !controlListener_)
        throw std::runtime_error("fake driver cannot listen: " + std::string(strerror(error)));
    uint64_t drain;
    while (::read(wake_.get(), &drain, sizeof(drain)) > 0) {
    }
    acceptThread_ = std::thread([this] { serve(); });
}

void FakeDriver::serve() {
    for (;;) {
        pollfd fds[3] = {{wake_.get(), POLLIN, 0},
                         {monitorListener_.get(), POLLIN, 0},
                         {controlListener_.get(), POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        for (int i = 1; i < 3; ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            platform::UniqueFd fd(::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC));
            if (!fd)
                continue;
            std::lock_guard lock(connectionsMutex_);
            reapConnections(false);
            auto connection = std::make_unique<Connection>();
            connection->id = nextConnection_++;
            connection->device = i == 1 ? VESTRAL_MONITOR_DEVICE : VESTRAL_CONTROL_DEVICE;
            connection->fd = std::move(fd);
            ++accepted_[connection->device];
            Connection* raw = connection.get();
            connection->thread = std::thread([this, raw] { serveConnection(raw); });
            connections_.push_back(std::move(connection));
        }
    }
}

void FakeDriver::reapConnections(bool all) {
    for (auto it = connections_.begin(); it != connections_.end();) {
        Connection& c = **it;
        if (all && !c.done)
            ::shutdown(c.fd.get(), SHUT_RDWR);
        if (all || c.done) {
            c.thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

void FakeDriver::closeListeners(bool removeFiles) {
    if (acceptThread_.joinable()) {
        uint64_t one = 1;
        ssize_t ignored = ::write(wake_.get(), &one, sizeof(one));
        (void)ignored;
        acceptThread_.join();
    }
    monitorListener_.reset();
    controlListener_.reset();
    if (removeFiles) {
        std::error_code ignored;
        fs::remove(dir_ + "/" + VESTRAL_MONITOR_DEVICE, ignored);
        fs::remove(dir_ + "/" + VESTRAL_CONTROL_DEVICE, ignored);
    }
    dropConnections();
}

void FakeDriver::stop() {
    closeListeners(true);
}

void FakeDriver::refuseConnections() {
    closeListeners(false);
}

void FakeDriver::restart() {
    if (acceptThread_.joinable())
        return;
    listen();
}

void FakeDriver::dropConnections() {
    std::lock_guard lock(connectionsMutex_);
    reapConnections(true);
}

int FakeDriver::connectionsAccepted(std::string_view device) const {
    std::lock_guard lock(connectionsMutex_);
    auto it = accepted_.find(device);
    return it == accepted_.end() ? 0 : it->second;
}

void FakeDriver::serveConnection(Connection* connection) {
    int fd = connection->fd.get();
    device::Request request;
    while (device::readRequest(fd, request) == device::ReadResult::Ok) {
        LoggedRequest logged{connection->device, connection->id,        request.header.code,
                             request.input,      request.header.outLen, request.passedFd.valid()};
        std::vector<uint8_t> out;
        bool success = false;
        int error = 0;
        Action action = handle(logged, out, success, error, request.passedFd);
        if (action == Action::Drop)
            break;
        if (action == Action::Broken) {
            uint32_t broken[3] = {7, 0, 0};
            ::send(fd, broken, sizeof(broken), MSG_NOSIGNAL);
            break;
        }
        uint32_t returned = static_cast<uint32_t>(std::min<size_t>(out.size(), logged.outLen));
        if (!device::sendReply(fd, success, static_cast<uint32_t>(error), out.data(), returned))
            break;
    }
    ::shutdown(fd, SHUT_RDWR);
    connection->done = true;
}

// ---- Requests -------------------------------------------------------------------------------

FakeDriver::Action FakeDriver::handle(const LoggedRequest& request, std::vector<uint8_t>& out,
                                      bool& success, int& error, platform::UniqueFd& passedFd) {
    std::lock_guard lock(mutex_);
    log_.push_back(request);
    logged_.notify_all();

    std::optional<FaultPlan> fault;
    if (auto it = faults_.find(request.code); it != faults_.end() && it->second.times != 0) {
        fault = it->second;
        if (it->second.times > 0)
            --it->second.times;
    }
    if (fault && fault->fault == Fault::Drop)
        return Action::Drop;
    if (fault && fault->fault == Fault::BrokenReply)
        return Action::Broken;
    if (fault && fault->fault == Fault::Fail) {
        success = false;
        error = fault->error;
        return Action::Reply;
    }

    if (auto it = handlers_.find(request.code); it != handlers_.end()) {
        success = it->second(request, out, error);
    } else {
        success = answer(request, out, error, passedFd);
    }
    if (success && fault && fault->fault == Fault::ShortReply)
        out.resize(std::min<size_t>(out.size(), request.outLen) / 2);
    return Action::Reply;
}

// The driver's own answers. Runs under mutex_.
bool FakeDriver::answer(const LoggedRequest& request, std::vector<uint8_t>& out, int& error,
                        platform::UniqueFd& passedFd) {
    const std::vector<uint8_t>& in = request.input;
    auto refuse = [&error] {
        error = EINVAL;
        return false;
    };
    uint32_t wanted = request.device == VESTRAL_MONITOR_DEVICE ? VESTRAL_DEVICE_TYPE_MONITOR
                                                               : VESTRAL_DEVICE_TYPE_CONTROL;
    if (deviceTypeOf(request.code) != wanted)
        return refuse();
    auto word = [&in] {
        uint32_t value;
        std::memcpy(&value, in.data(), sizeof(value));
        return value;
    };
    auto bytesOf = [&out](const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        out.assign(bytes, bytes + size);
    };

    switch (request.code) {
        case IOCTL_VESTRAL_SET_DRIVES:
            if (in.size() != 4)
                return refuse();
            driveMask_ = word();
            out = in;
            return true;
        case IOCTL_VESTRAL_STARTUP:
            startedUp_ = true;
            return true;
        case IOCTL_VESTRAL_READ_EVENTS: {
            size_t n = std::min<size_t>(events_.size(), request.outLen);
            out.assign(events_.begin(), events_.begin() + static_cast<long>(n));
            events_.erase(events_.begin(), events_.begin() + static_cast<long>(n));
            return true;
        }
        case IOCTL_VESTRAL_STOP_CAPTURE:
            capturing_ = false;
            return true;
        case IOCTL_VESTRAL_START_CAPTURE:
            if (in.size() != 4)
                return refuse();
            captureParameter_ = word();
            capturing_ = true;
            return true;
        case IOCTL_VESTRAL_SET_FILTER: {
            if (in.size() != sizeof(MonitorFilter))
                return refuse();
            MonitorFilter filter;
            std::memcpy(&filter, in.data(), sizeof(filter));
            filter_ = filter;
            return true;
        }
        case IOCTL_VESTRAL_SET_TIME_MODE:
            if (in.size() != 1)
                return refuse();
            timeMode_ = in[0];
            return true;
        case IOCTL_VESTRAL_GET_VERSION:
            bytesOf(&version_, sizeof(version_));
            return true;
        case IOCTL_CONTROL_FETCH_QUESTION: {
            AccessQuestion question{};
            if (waitingQuestion_) {
                question = *waitingQuestion_;
                question.Valid = 1;
            }
            bytesOf(&question, sizeof(question));
            return true;
        }
        case IOCTL_CONTROL_SET_QUESTION_EVENT:
            if (in.size() != 4)
                return refuse();
            if (word() == 0) {
                questionEvent_.reset();
            } else {
                if (!passedFd)
                    return refuse();
                questionEvent_ = std::move(passedFd);
            }
            return true;
        case IOCTL_CONTROL_APPLY_ITEMS:
            if (in.size() != sizeof(ItemTable))
                return refuse();
            std::memcpy(table_.get(), in.data(), sizeof(ItemTable));
            return true;
        case IOCTL_CONTROL_PROTECT_ON:
        case IOCTL_CONTROL_PROTECT_OFF:
            protection_ = request.code == IOCTL_CONTROL_PROTECT_ON;
            return true;
        case IOCTL_CONTROL_CLEAR_ITEMS:
            table_->Count = 0;
            return true;
        case IOCTL_CONTROL_GET_ITEMS:
            bytesOf(table_.get(), sizeof(ItemTable));
            return true;
        case IOCTL_CONTROL_REPLY:
        case IOCTL_CONTROL_FOLLOW_UP: {
            if (in.size() != sizeof(AccessQuestion))
                return refuse();
            AccessQuestion question;
            std::memcpy(&question, in.data(), sizeof(question));
            if (request.code == IOCTL_CONTROL_FOLLOW_UP) {
                followUps_.push_back(question);
                return true;
            }
            replies_.push_back(question);
            waitingQuestion_.reset();
            if (question.Decision != AllowAlways)
                return true;
            std::string process = textOf(question.Process, sizeof(question.Process));
            std::string program = upper(process.substr(process.find_last_of("/\\") + 1)) + ":";
            std::string itemName = upper(textOf(question.ItemName, sizeof(question.ItemName)));
            for (uint32_t i = 0; i < std::min<uint32_t>(table_->Count, VESTRAL_ITEMS_MAX); ++i) {
                ProtectedItem& item = table_->Items[i];
                uint32_t nameLength = std::min<uint32_t>(item.NameLength, VESTRAL_ITEM_NAME_MAX);
                if (upper(std::string(item.Name, nameLength)) != itemName)
                    continue;
                uint32_t length =
                    std::min<uint32_t>(item.ProgramsLength, VESTRAL_ITEM_PROGRAMS_MAX);
                if (length + program.size() > VESTRAL_ITEM_PROGRAMS_MAX)
                    break;
                std::memcpy(item.Programs + length, program.data(), program.size());
                item.ProgramsLength = length + static_cast<uint32_t>(program.size());
                break;
            }
            return true;
        }
        case IOCTL_CONTROL_EXE_ON:
        case IOCTL_CONTROL_EXE_OFF:
            exeProtection_ = request.code == IOCTL_CONTROL_EXE_ON;
            return true;
        default:
            return refuse();
    }
}

// ---- Faults and state -----------------------------------------------------------------------

void FakeDriver::setVersion(uint32_t version) {
    std::lock_guard lock(mutex_);
    version_ = version;
}

void FakeDriver::injectFault(uint32_t code, Fault fault, int error, int times) {
    std::lock_guard lock(mutex_);
    faults_[code] = FaultPlan{fault, error, times};
}

void FakeDriver::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

void FakeDriver::setHandler(uint32_t code, Handler handler) {
    std::lock_guard lock(mutex_);
    if (handler) {
        handlers_[code] = std::move(handler);
    } else {
        handlers_.erase(code);
    }
}

std::vector<Item> FakeDriver::items() const {
    std::lock_guard lock(mutex_);
    std::vector<Item> result;
    for (uint32_t i = 0; i < std::min<uint32_t>(table_->Count, VESTRAL_ITEMS_MAX); ++i) {
        const ProtectedItem& item = table_->Items[i];
        result.push_back(
            {std::string(item.Name, std::min<uint32_t>(item.NameLength, VESTRAL_ITEM_NAME_MAX)),
             std::string(item.Programs,
                         std::min<uint32_t>(item.ProgramsLength, VESTRAL_ITEM_PROGRAMS_MAX))});
    }
    return result;
}

void FakeDriver::setItems(const std::vector<Item>& items) {
    ItemStrings strings;
    for (const Item& item : items)
        strings.emplace_back(item.name, item.programs);
    auto table = makeItemTable(strings);
    std::lock_guard lock(mutex_);
    *table_ = *table;
}

ItemTable FakeDriver::table() const {
    std::lock_guard lock(mutex_);
    return *table_;
}

void FakeDriver::setTable(const ItemTable& table) {
    std::lock_guard lock(mutex_);
    *table_ = table;
}

bool FakeDriver::protectionOn() const {
    std::lock_guard lock(mutex_);
    return protection_;
}

bool FakeDriver::exeProtectionOn() const {
    std::lock_guard lock(mutex_);
    return exeProtection_;
}

bool FakeDriver::startedUp() const {
    std::lock_guard lock(mutex_);
    return startedUp_;
}

uint32_t FakeDriver::driveMask() const {
    std::lock_guard lock(mutex_);
    return driveMask_;
}

std::optional<MonitorFilter> FakeDriver::filter() const {
    std::lock_guard lock(mutex_);
    return filter_;
}

bool FakeDriver::capturing() const {
    std::lock_guard lock(mutex_);
    return capturing_;
}

uint32_t FakeDriver::captureParameter() const {
    std::lock_guard lock(mutex_);
    return captureParameter_;
}

std::optional<uint8_t> FakeDriver::timeMode() const {
    std::lock_guard lock(mutex_);
    return timeMode_;
}

void FakeDriver::queueEvents(const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    events_.insert(events_.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> FakeDriver::eventEntry(uint32_t tag, uint64_t fileTime,
                                            std::string_view text) {
    EventEntryHeader header{0, tag, fileTime};
    size_t size = sizeof(header) + ((text.size() + 4) & ~size_t{3});
    std::vector<uint8_t> entry(size, 0);
    std::memcpy(entry.data(), &header, sizeof(header));
    std::memcpy(entry.data() + sizeof(header), text.data(), text.size());
    return entry;
}

bool FakeDriver::holdsQuestionEvent() const {
    std::lock_guard lock(mutex_);
    return questionEvent_.valid();
}

bool FakeDriver::postQuestion(const AccessQuestion& question) {
    std::lock_guard lock(mutex_);
    if (!questionEvent_)
        return false;
    waitingQuestion_ = question;
    uint64_t one = 1;
    return ::write(questionEvent_.get(), &one, sizeof(one)) == sizeof(one);
}

std::vector<AccessQuestion> FakeDriver::replies() const {
    std::lock_guard lock(mutex_);
    return replies_;
}

std::vector<AccessQuestion> FakeDriver::followUps() const {
    std::lock_guard lock(mutex_);
    return followUps_;
}

std::vector<LoggedRequest> FakeDriver::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::vector<uint32_t> FakeDriver::codes() const {
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> result;
    for (const LoggedRequest& r : log_)
        result.push_back(r.code);
    return result;
}

size_t FakeDriver::count(uint32_t code) const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count_if(
        log_.begin(), log_.end(), [code](const LoggedRequest& r) { return r.code == code; }));
}

void FakeDriver::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

bool FakeDriver::waitForCount(uint32_t code, size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return logged_.wait_for(lock, timeout, [&] {
        return static_cast<size_t>(std::count_if(log_.begin(), log_.end(), [code](const auto& r) {
                   return r.code == code;
               })) >= n;
    });
}

}  // namespace fake

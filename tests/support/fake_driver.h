// A fake filter driver for tests: serves the monitor device "VESTRAL" and the control device
// "MyControlDevice" on Unix sockets in a temporary folder, with the framing of the real channel.
// It keeps an item table, the switches, the filter and a log of every request, and can be told
// to fail a code, answer another version, break a reply or drop connections.
//
// Owns: the temporary folder, the two listening sockets, one thread that accepts, one thread per
// connection (one connection = one engine handle). Everything it records is guarded by one lock,
// so tests may read it from any thread while the engine talks to it.
//
// Typical use:
//   fake::FakeDriver driver;          // serving at once
//   driver.useForEngine();            // VESTRAL_DEVICE_DIR points at it
//   ... engine calls ...
//   EXPECT_EQ(driver.count(IOCTL_CONTROL_APPLY_ITEMS), 1u);
#pragma once

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "vestral.h"

namespace fake {

struct LoggedRequest {
    std::string device;  // VESTRAL_MONITOR_DEVICE or VESTRAL_CONTROL_DEVICE
    int connection = 0;  // 1, 2, ... in the order connections were accepted
    uint32_t code = 0;
    std::vector<uint8_t> input;
    uint32_t outLen = 0;
    bool passedFd = false;  // a descriptor travelled with the request
};

enum class Fault {
    Fail,         // reply failure with the given error code
    Drop,         // close the connection without a reply
    ShortReply,   // reply success with half of the output the request asked for
    BrokenReply,  // a reply header that breaks the framing
};

// One item as the driver holds it.
struct Item {
    std::string name;
    std::string programs;
    bool operator==(const Item&) const = default;
};

class FakeDriver {
  public:
    // Makes the temporary device folder and starts serving both devices.
    FakeDriver();
    // Stops serving and removes the folder.
    ~FakeDriver();
    FakeDriver(const FakeDriver&) = delete;
    FakeDriver& operator=(const FakeDriver&) = delete;

    const std::string& deviceDir() const { return dir_; }
    // Sets VESTRAL_DEVICE_DIR to this driver's folder.
    void useForEngine() const;
    // For code that starts the engine through the system's own pieces (the service tests):
    // besides useForEngine, sets CORVANTIS_SCM_DIR to a folder of this driver, registers the
    // driver service "VESTRAL" there as run by this process (so the local service manager
    // reports it running and starts nothing), and puts an executable driver file into
    // `programDir` (CORVANTIS_PROGRAM_DIR of the test) when none is there.
    void installAsDriverService(const std::string& programDir) const;

    // ---- Serving ---------------------------------------------------------------------------
    // Stops serving: every connection closed, the socket files removed (opens fail, ENOENT).
    void stop();
    // Stops serving but leaves the socket files: opens fail with ECONNREFUSED.
    void refuseConnections();
    // Serves again after stop or refuseConnections (the state is kept).
    void restart();
    // Closes every open connection; the engine's handles break, new opens work.
    void dropConnections();
    // Connections accepted so far, per device.
    int connectionsAccepted(std::string_view device) const;

    // ---- Faults ----------------------------------------------------------------------------
    // The version answered to IOCTL_VESTRAL_GET_VERSION (400 at first).
    void setVersion(uint32_t version);
    // Applies `fault` to the next `times` requests with `code` (-1: every one).
    void injectFault(uint32_t code, Fault fault, int error = EIO, int times = -1);
    void clearFaults();
    // Replaces the answer to `code`: the handler gets the request, fills `out` (at most outLen
    // bytes travel) and returns success; `error` is reported on failure. Handlers run under the
    // driver's lock: they must not call the driver. A null handler restores the usual answer.
    using Handler =
        std::function<bool(const LoggedRequest& request, std::vector<uint8_t>& out, int& error)>;
    void setHandler(uint32_t code, Handler handler);

    // ---- State -----------------------------------------------------------------------------
    std::vector<Item> items() const;
    void setItems(const std::vector<Item>& items);
    // The table block as the driver holds it (its count may be anything a test set).
    ItemTable table() const;
    void setTable(const ItemTable& table);
    bool protectionOn() const;
    bool exeProtectionOn() const;
    bool startedUp() const;                       // IOCTL_VESTRAL_STARTUP received
    uint32_t driveMask() const;                   // last IOCTL_VESTRAL_SET_DRIVES
    std::optional<MonitorFilter> filter() const;  // last IOCTL_VESTRAL_SET_FILTER
    bool capturing() const;                       // between START_CAPTURE and STOP_CAPTURE
    uint32_t captureParameter() const;
    std::optional<uint8_t> timeMode() const;

    // ---- Events (IOCTL_VESTRAL_READ_EVENTS) --------------------------------------------------
    // Bytes handed out by the next reads, at most the reader's outLen per read: queue whole
    // entries. An empty queue answers success with 0 bytes.
    void queueEvents(const std::vector<uint8_t>& bytes);
    // One event entry: header word 0, `tag`, the time stamp, the text with its NUL, filler to
    // the next multiple of 4.
    static std::vector<uint8_t> eventEntry(uint32_t tag, uint64_t fileTime, std::string_view text);

    // ---- Access questions ------------------------------------------------------------------
    // Whether a question event is held (handed over with a non-zero value, not withdrawn).
    bool holdsQuestionEvent() const;
    // Makes `question` the waiting one and signals the held event. False when none is held.
    bool postQuestion(const AccessQuestion& question);
    // Questions as they came back with IOCTL_CONTROL_REPLY and IOCTL_CONTROL_FOLLOW_UP. A reply
    // with AllowAlways adds the asking program (its file name, upper-cased, and ':') to the item
    // named in the question, as the real driver does.
    std::vector<AccessQuestion> replies() const;
    std::vector<AccessQuestion> followUps() const;

    // ---- Log ---------------------------------------------------------------------------------
    std::vector<LoggedRequest> log() const;
    std::vector<uint32_t> codes() const;  // the codes of the log, in order
    size_t count(uint32_t code) const;
    void clearLog();
    // Waits until `code` has arrived at least `n` times in all; false after `timeout`.
    bool waitForCount(uint32_t code, size_t n, std::chrono::milliseconds timeout) const;

  private:
    struct Connection;
    struct FaultPlan {
        Fault fault;
        int error;
        int times;
    };
    enum class Action { Reply, Drop, Broken };

    void serve();
    void listen();
    void closeListeners(bool removeFiles);
    void serveConnection(Connection* connection);
    Action handle(const LoggedRequest& request, std::vector<uint8_t>& out, bool& success,
                  int& error, platform::UniqueFd& passedFd);
    bool answer(const LoggedRequest& request, std::vector<uint8_t>& out, int& error,
                platform::UniqueFd& passedFd);
    void reapConnections(bool all);

    std::string dir_;
    platform::UniqueFd monitorListener_, controlListener_, wake_;
    std::thread acceptThread_;

    mutable std::mutex connectionsMutex_;
    std::list<std::unique_ptr<Connection>> connections_;
    int nextConnection_ = 1;
    std::map<std::string, int, std::less<>> accepted_;

    mutable std::mutex mutex_;
    mutable std::condition_variable logged_;
    std::vector<LoggedRequest> log_;
    std::map<uint32_t, FaultPlan> faults_;
    std::map<uint32_t, Handler> handlers_;
    uint32_t version_ = VESTRAL_INTERFACE_VERSION;
    std::unique_ptr<ItemTable> table_;
    bool protection_ = false, exeProtection_ = false, startedUp_ = false, capturing_ = false;
    uint32_t driveMask_ = 0, captureParameter_ = 0;
    std::optional<MonitorFilter> filter_;
    std::optional<uint8_t> timeMode_;
    std::vector<uint8_t> events_;
    platform::UniqueFd questionEvent_;
    std::optional<AccessQuestion> waitingQuestion_;
    std::vector<AccessQuestion> replies_, followUps_;
};

}  // namespace fake

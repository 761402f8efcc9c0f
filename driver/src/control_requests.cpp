// The control codes of both devices: what each request does to the driver's state and what it
// returns. The device type in the upper half of a code must match the device it arrives on.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "filter_driver.h"
#include "process_info.h"

namespace vestrald {

namespace {

uint32_t readWord(const std::vector<uint8_t>& input) {
    uint32_t value = 0;
    std::memcpy(&value, input.data(), sizeof(value));
    return value;
}

std::vector<uint8_t> wordOutput(uint32_t value) {
    std::vector<uint8_t> out(sizeof(value));
    std::memcpy(out.data(), &value, sizeof(value));
    return out;
}

bool isEventFd(int fd) {
    return pathOfDescriptor(fd) == "anon_inode:[eventfd]";
}

}  // namespace

ControlResult FilterDriver::control(const Connection& connection, uint32_t code,
                                    const std::vector<uint8_t>& input, uint32_t outLen,
                                    platform::UniqueFd passedFd) {
    uint32_t deviceType = code >> 16;
    if (connection.device == Device::Monitor && deviceType == VESTRAL_DEVICE_TYPE_MONITOR)
        return monitorRequest(code, input, outLen);
    if (connection.device == Device::Control && deviceType == VESTRAL_DEVICE_TYPE_CONTROL)
        return controlRequest(connection, code, input, outLen, std::move(passedFd));
    return ControlResult::fail(ENOTTY);
}

ControlResult FilterDriver::monitorRequest(uint32_t code, const std::vector<uint8_t>& input,
                                           uint32_t outLen) {
    switch (code) {
        case IOCTL_VESTRAL_GET_VERSION:
            if (outLen < sizeof(uint32_t))
                return ControlResult::fail(EINVAL);
            return {true, 0, wordOutput(VESTRAL_INTERFACE_VERSION)};
        case IOCTL_VESTRAL_STARTUP:
            return {};
        case IOCTL_VESTRAL_SET_DRIVES: {
            if (input.size() < sizeof(uint32_t))
                return ControlResult::fail(EINVAL);
            uint32_t mask = readWord(input);
            {
                std::unique_lock lock(state_);
                driveMask_ = mask;
            }
            rulesChanged();
            ControlResult result;
            if (outLen >= sizeof(uint32_t))
                result.output = wordOutput(mask);
            return result;
        }
        case IOCTL_VESTRAL_SET_FILTER: {
            if (input.size() < sizeof(MonitorFilter))
                return ControlResult::fail(EINVAL);
            std::unique_lock lock(state_);
            std::memcpy(&monitorFilter_, input.data(), sizeof(monitorFilter_));
            return {};
        }
        case IOCTL_VESTRAL_SET_TIME_MODE: {
            if (input.empty())
                return ControlResult::fail(EINVAL);
            std::unique_lock lock(state_);
            timeStampMode_ = input[0];
            return {};
        }
        case IOCTL_VESTRAL_START_CAPTURE: {
            if (input.size() < sizeof(uint32_t))
                return ControlResult::fail(EINVAL);
            {
                std::unique_lock lock(state_);
                captureParameter_ = readWord(input);
            }
            events_.setCapture(true);
            return {};
        }
        case IOCTL_VESTRAL_STOP_CAPTURE:
            events_.setCapture(false);
            return {};
        case IOCTL_VESTRAL_READ_EVENTS: {
            ControlResult result;
            result.output.resize(outLen);
            result.output.resize(events_.read(result.output.data(), outLen));
            return result;
        }
        default:
            return ControlResult::fail(ENOTTY);
    }
}

ControlResult FilterDriver::controlRequest(const Connection& connection, uint32_t code,
                                           const std::vector<uint8_t>& input, uint32_t outLen,
                                           platform::UniqueFd passedFd) {
    switch (code) {
        case IOCTL_CONTROL_SET_QUESTION_EVENT:
            return setQuestionEvent(connection, input, std::move(passedFd));
        case IOCTL_CONTROL_FETCH_QUESTION: {
            if (outLen < sizeof(AccessQuestion))
                return ControlResult::fail(EINVAL);
            AccessQuestion question;
            questions_.fetch(question);
            ControlResult result;
            result.output.resize(sizeof(question));
            std::memcpy(result.output.data(), &question, sizeof(question));
            return result;
        }
        case IOCTL_CONTROL_REPLY:
            return reply(input);
        case IOCTL_CONTROL_FOLLOW_UP:
            // The decision took effect with the reply; the follow-up only confirms it.
            if (input.size() < sizeof(AccessQuestion))
                return ControlResult::fail(EINVAL);
            return {};
        case IOCTL_CONTROL_APPLY_ITEMS: {
            int error;
            {
                std::unique_lock lock(state_);
                error = rules_.apply(input.data(), input.size());
            }
            if (error)
                return ControlResult::fail(static_cast<uint32_t>(error));
            rulesChanged();
            return {};
        }
        case IOCTL_CONTROL_CLEAR_ITEMS: {
            std::unique_lock lock(state_);
            rules_.clear();
        }
            rulesChanged();
            return {};
        case IOCTL_CONTROL_GET_ITEMS: {
            if (outLen < sizeof(ItemTable))
                return ControlResult::fail(EINVAL);
            auto table = std::make_unique<ItemTable>();
            {
                std::shared_lock lock(state_);
                rules_.toTable(*table);
            }
            ControlResult result;
            result.output.resize(sizeof(ItemTable));
            std::memcpy(result.output.data(), table.get(), sizeof(ItemTable));
            return result;
        }
        case IOCTL_CONTROL_PROTECT_ON:
        case IOCTL_CONTROL_PROTECT_OFF:
        case IOCTL_CONTROL_EXE_ON:
        case IOCTL_CONTROL_EXE_OFF: {
            std::unique_lock lock(state_);
            if (code == IOCTL_CONTROL_PROTECT_ON || code == IOCTL_CONTROL_PROTECT_OFF)
                protection_ = code == IOCTL_CONTROL_PROTECT_ON;
            else
                executableProtection_ = code == IOCTL_CONTROL_EXE_ON;
        }
            rulesChanged();
            return {};
        default:
            return ControlResult::fail(ENOTTY);
    }
}

ControlResult FilterDriver::setQuestionEvent(const Connection& connection,
                                             const std::vector<uint8_t>& input,
                                             platform::UniqueFd passedFd) {
    if (input.size() < sizeof(uint32_t))
        return ControlResult::fail(EINVAL);
    if (readWord(input) == 0) {
        settle(questions_.withdraw("DENY ENGINE WITHDREW"));
        return {};
    }
    if (!passedFd)
        return ControlResult::fail(EBADF);
    // Only an eventfd: a write to it never blocks the driver, unlike a pipe or a file.
    if (!isEventFd(passedFd.get()))
        return ControlResult::fail(EINVAL);
    questions_.setQuestionEvent(std::move(passedFd), connection.id);
    return {};
}

ControlResult FilterDriver::reply(const std::vector<uint8_t>& input) {
    if (input.size() < sizeof(AccessQuestion))
        return ControlResult::fail(EINVAL);
    auto question = std::make_unique<AccessQuestion>();
    std::memcpy(question.get(), input.data(), sizeof(AccessQuestion));
    Answer answer = questions_.reply(*question);
    // A reply to a question that is already settled (expired) succeeds and changes nothing: a
    // failed reply would end the engine's question thread.
    if (!answer.known)
        return {};
    settle(std::move(answer.outcomes));

    const PendingQuestion& asked = answer.question;
    std::vector<Outcome> also;
    if (answer.decision == AllowUntilRestart || answer.decision == DenyUntilRestart) {
        bool allow = answer.decision == AllowUntilRestart;
        {
            std::unique_lock lock(state_);
            memory_.remember(asked.programPath, asked.itemName, asked.filePath, allow);
        }
        // Questions of the same program about the same item (or file) share the decision.
        also = questions_.settleWhere(
            [&](const PendingQuestion& other) -> std::optional<bool> {
                if (other.programPath != asked.programPath || other.itemName != asked.itemName)
                    return std::nullopt;
                if (asked.itemName.empty() && other.filePath != asked.filePath)
                    return std::nullopt;
                return allow;
            },
            "ALLOW REMEMBERED", "DENY REMEMBERED");
    } else if (answer.decision == AllowAlways && !asked.itemName.empty()) {
        {
            std::unique_lock lock(state_);
            rules_.permitAlways(asked.itemName, asked.programName);
        }
        also = questions_.settleWhere(
            [&](const PendingQuestion& other) -> std::optional<bool> {
                if (other.programPath != asked.programPath || other.itemName != asked.itemName)
                    return std::nullopt;
                return true;
            },
            "ALLOW ALWAYS", "");
    }
    settle(std::move(also));
    return {};
}

}  // namespace vestrald

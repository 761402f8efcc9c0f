#include "mime/mail_environment.h"

#include "platform/mime_types.h"
#include "platform/user_output.h"

namespace mail {
namespace {

class SystemEnvironment final : public MailEnvironment {
  public:
    platform::LocalTimeReading LocalTime() const override { return platform::readLocalTime(); }
    uint32_t TickCount() const override { return platform::tickCountMs(); }
    std::optional<std::string> RegisteredContentType(std::string_view key) const override {
        return platform::registeredContentType(key);
    }
    void DebugOutput(std::string_view text) const override { platform::debugOutput(text); }
};

}  // namespace

const MailEnvironment& SystemMailEnvironment() {
    static const SystemEnvironment environment;
    return environment;
}

}  // namespace mail

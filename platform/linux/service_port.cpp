#include "platform/service_port.h"

#include <netdb.h>
#include <netinet/in.h>

#include <vector>

namespace platform {

uint16_t servicePort(const char* service, const char* protocol, uint16_t fallback) {
    // The re-entrant lookup: sending threads construct their clients at the same time.
    servent entry{};
    servent* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getservbyname_r(service, protocol, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return fallback;
    }
    return ntohs(static_cast<uint16_t>(found->s_port));
}

}  // namespace platform

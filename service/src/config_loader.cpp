#include "service/config_loader.h"

#include <cstdint>
#include <limits>

#include "config/config_file.h"
#include "config/item_write_back.h"
#include "config/profile_file.h"
#include "platform/event_log.h"
#include "service/service_name.h"
#include "vestral.h"

namespace service {

bool loadConfig(std::string_view section) {
    if (FM_Init() == 0) {
        platform::writeEventLog(platform::EventType::Error, kServiceName, "FM_INIT failed!");
        return false;
    }
    if (FM_ClearItems() == 0)
        return false;

    const auto entries = config::readProfileSection(config::configFilePath(), section);
    constexpr size_t kMaxLength = std::numeric_limits<uint32_t>::max();
    ItemTable* table = nullptr;
    for (const config::ProfileEntry& entry : entries) {
        if (entry.key.empty())
            continue;
        std::string_view programs = entry.value.empty() ? kNoProgramPermitted : entry.value;
        // Lengths the engine's 32-bit arguments cannot carry would reach it cut short.
        if (entry.key.size() > kMaxLength || programs.size() > kMaxLength)
            continue;
        table = FM_AddItems(entry.key.data(), static_cast<uint32_t>(entry.key.size()),
                            programs.data(), static_cast<uint32_t>(programs.size()));
    }
    if (table && table->Count > 0 && FM_ApplyItems() == 0) {
        FM_ResetItems();
        return false;
    }
    return true;
}

bool saveItems() {
    const ItemTable* table = FM_GetItems();
    if (!table)
        return false;
    return config::writeBackItems(config::configFilePath(), *table);
}

}  // namespace service

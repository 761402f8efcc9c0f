// Builds a whole item table, as it travels to and from the driver, from name and permitted-program
// strings (each cut to its field width; at most 1000 items).
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vestral.h"

using ItemStrings = std::vector<std::pair<std::string, std::string>>;

inline std::unique_ptr<ItemTable> makeItemTable(const ItemStrings& items) {
    auto table = std::make_unique<ItemTable>();  // zeroed
    for (const auto& [name, programs] : items) {
        if (table->Count >= VESTRAL_ITEMS_MAX)
            break;
        ProtectedItem& record = table->Items[table->Count++];
        record.NameLength =
            static_cast<uint32_t>(std::min<size_t>(name.size(), sizeof(record.Name)));
        record.ProgramsLength =
            static_cast<uint32_t>(std::min<size_t>(programs.size(), sizeof(record.Programs)));
        std::memcpy(record.Name, name.data(), record.NameLength);
        std::memcpy(record.Programs, programs.data(), record.ProgramsLength);
    }
    return table;
}

#include "item_rules.h"

#include <cerrno>
#include <cstring>

#include "name_matching.h"

namespace vestrald {

int ItemRules::apply(const uint8_t* block, size_t size) {
    uint32_t count = 0;
    if (size < sizeof(count))
        return EINVAL;
    std::memcpy(&count, block, sizeof(count));
    if (count > VESTRAL_ITEMS_MAX)
        return EINVAL;
    if (size < offsetof(ItemTable, Items) + size_t{count} * sizeof(ProtectedItem))
        return EINVAL;

    std::vector<ItemRule> items;
    items.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        ProtectedItem record;
        std::memcpy(&record, block + offsetof(ItemTable, Items) + size_t{i} * sizeof(record),
                    sizeof(record));
        if (record.NameLength < 1 || record.NameLength > VESTRAL_ITEM_NAME_MAX ||
            record.ProgramsLength < VESTRAL_ITEM_PROGRAMS_MIN ||
            record.ProgramsLength > VESTRAL_ITEM_PROGRAMS_MAX ||
            record.Programs[record.ProgramsLength - 1] != ':')
            return EINVAL;
        items.push_back({std::string(record.Name, record.NameLength),
                         std::string(record.Programs, record.ProgramsLength)});
    }
    items_ = std::move(items);
    return 0;
}

void ItemRules::toTable(ItemTable& table) const {
    std::memset(&table, 0, sizeof(table));
    table.Count = static_cast<uint32_t>(items_.size());
    for (size_t i = 0; i < items_.size(); ++i) {
        ProtectedItem& record = table.Items[i];
        std::memcpy(record.Name, items_[i].name.data(), items_[i].name.size());
        std::memcpy(record.Programs, items_[i].programs.data(), items_[i].programs.size());
        record.NameLength = static_cast<uint32_t>(items_[i].name.size());
        record.ProgramsLength = static_cast<uint32_t>(items_[i].programs.size());
    }
}

bool ItemRules::permits(std::string_view programs, std::string_view programName) {
    if (programName.empty())
        return false;
    while (!programs.empty()) {
        size_t colon = programs.find(':');
        std::string_view entry = programs.substr(0, colon);
        while (!entry.empty() && entry.front() == ' ')
            entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == ' ')
            entry.remove_suffix(1);
        if (equalsNoCase(entry, programName))
            return true;
        if (colon == std::string_view::npos)
            break;
        programs.remove_prefix(colon + 1);
    }
    return false;
}

int ItemRules::findRefusingItem(std::string_view path, std::string_view programName,
                                bool* covered) const {
    if (covered)
        *covered = false;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (!itemCoversPath(items_[i].name, path))
            continue;
        if (covered)
            *covered = true;
        if (!permits(items_[i].programs, programName))
            return static_cast<int>(i);
    }
    return -1;
}

bool ItemRules::permitAlways(std::string_view itemName, std::string_view programName) {
    if (programName.empty() || programName.find(':') != std::string_view::npos)
        return false;
    for (ItemRule& item : items_) {
        if (item.name != itemName)
            continue;
        if (permits(item.programs, programName))
            return true;
        if (item.programs.size() + programName.size() + 1 > VESTRAL_ITEM_PROGRAMS_MAX)
            return false;
        item.programs += upperAscii(programName);
        item.programs += ':';
        return true;
    }
    return false;
}

}  // namespace vestrald

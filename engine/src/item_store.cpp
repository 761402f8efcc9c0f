#include "item_store.h"

#include <new>

namespace engine {

namespace {

void copyUpperCase(char* to, const char* from, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        char c = from[i];
        to[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
}

// A table from the driver is handed to callers that trust its count and lengths: one that would
// make them read past a record or the block is refused.
bool withinLimits(const ItemTable& table) {
    if (table.Count > VESTRAL_ITEMS_MAX)
        return false;
    for (uint32_t i = 0; i < table.Count; ++i) {
        const ProtectedItem& item = table.Items[i];
        if (item.NameLength > VESTRAL_ITEM_NAME_MAX ||
            item.ProgramsLength > VESTRAL_ITEM_PROGRAMS_MAX)
            return false;
    }
    return true;
}

}  // namespace

ItemStore::ItemStore() : handle_(VESTRAL_CONTROL_DEVICE) {}

ItemTable* ItemStore::add(const char* name, uint32_t nameLength, const char* programs,
                          uint32_t programsLength, bool* allocationFailed) {
    std::lock_guard lock(mutex_);
    *allocationFailed = false;
    if (nameLength == 0 || nameLength > VESTRAL_ITEM_NAME_MAX ||
        programsLength < VESTRAL_ITEM_PROGRAMS_MIN || programsLength > VESTRAL_ITEM_PROGRAMS_MAX ||
        !name || !programs || programs[programsLength - 1] != ':')
        return table_.get();
    if (!table_) {
        // Zeroed, so that no stale heap bytes travel to the driver in the unused records.
        table_.reset(new (std::nothrow) ItemTable());
        if (!table_) {
            *allocationFailed = true;
            return nullptr;
        }
        table_->Count = 0;
    }
    if (table_->Count >= VESTRAL_ITEMS_MAX)
        return table_.get();
    ProtectedItem& item = table_->Items[table_->Count];
    copyUpperCase(item.Name, name, nameLength);
    copyUpperCase(item.Programs, programs, programsLength);
    item.NameLength = nameLength;
    item.ProgramsLength = programsLength;
    ++table_->Count;
    return table_.get();
}

void ItemStore::reset() {
    std::lock_guard lock(mutex_);
    table_.reset();
}

int ItemStore::apply() {
    std::lock_guard lock(mutex_);
    if (!table_ || table_->Count == 0 || table_->Count > VESTRAL_ITEMS_MAX)
        return 0;
    if (!handle_.request(IOCTL_CONTROL_APPLY_ITEMS, table_.get(), sizeof(ItemTable), nullptr, 0))
        return 0;
    table_.reset();
    return 1;
}

bool ItemStore::readInto(ItemTable& table) {
    uint32_t returned = 0;
    if (!handle_.request(IOCTL_CONTROL_GET_ITEMS, nullptr, 0, &table, sizeof(ItemTable), &returned))
        return false;
    // Only bytes of this reply count: the count and every record it names must have arrived.
    if (returned < sizeof(table.Count))
        return false;
    if (table.Count > VESTRAL_ITEMS_MAX ||
        returned < sizeof(table.Count) + size_t{table.Count} * sizeof(ProtectedItem))
        return false;
    return withinLimits(table);
}

ItemTable* ItemStore::fetch() {
    std::lock_guard lock(mutex_);
    if (!table_) {
        table_.reset(new (std::nothrow) ItemTable());
        if (!table_)
            return nullptr;
    }
    if (!readInto(*table_)) {
        table_.reset();
        return nullptr;
    }
    return table_.get();
}

bool ItemStore::readDriverTable(ItemTable& out) {
    std::lock_guard lock(mutex_);
    return readInto(out);
}

int ItemStore::clear() {
    std::lock_guard lock(mutex_);
    return handle_.request(IOCTL_CONTROL_CLEAR_ITEMS, nullptr, 0, nullptr, 0) ? 1 : 0;
}

int ItemStore::setProtection(bool on, std::atomic<bool>& active) {
    std::lock_guard lock(mutex_);
    uint32_t code = on ? IOCTL_CONTROL_PROTECT_ON : IOCTL_CONTROL_PROTECT_OFF;
    if (!handle_.request(code, nullptr, 0, nullptr, 0))
        return 0;
    if (on) {
        active = true;
    } else {
        table_.reset();
        handle_.close();
        active = false;
    }
    return 1;
}

int ItemStore::setExeProtection(bool on) {
    std::lock_guard lock(mutex_);
    uint32_t code = on ? IOCTL_CONTROL_EXE_ON : IOCTL_CONTROL_EXE_OFF;
    return handle_.request(code, nullptr, 0, nullptr, 0) ? 1 : 0;
}

bool ItemStore::openHandle() {
    std::lock_guard lock(mutex_);
    return handle_.acquire() != nullptr;
}

const ItemTable* ItemStore::current() const {
    std::lock_guard lock(mutex_);
    return table_.get();
}

void ItemStore::releaseAll() {
    std::lock_guard lock(mutex_);
    table_.reset();
    handle_.close();
}

}  // namespace engine

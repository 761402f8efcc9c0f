// The engine's protected-item table and the item handle it travels on. Both are used by the
// caller's thread (the FM_ item functions) and by the access-request thread (the table
// write-back after an always-allow decision); one lock keeps the two from meeting, around every
// use of the table and of the item handle.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "device_slot.h"
#include "vestral.h"

namespace engine {

class ItemStore {
  public:
    ItemStore();

    // FM_AddItems: appends one upper-cased item. The table, unchanged when the item is refused,
    // or null when there is none; *allocationFailed tells whether a new table could not be made.
    ItemTable* add(const char* name, uint32_t nameLength, const char* programs,
                   uint32_t programsLength, bool* allocationFailed);
    // FM_ResetItems: releases the table.
    void reset();
    // FM_ApplyItems: 1 when the driver took the table (which is then released), else 0.
    int apply();
    // FM_GetItems: the table filled from the driver, or null (the table is then released).
    ItemTable* fetch();
    // FM_ClearItems: 1 when the driver dropped its items, else 0. The table is left alone.
    int clear();
    // FM_SetControl: 1 done, 0 failed. Switching off also releases the table and closes the
    // item handle. `active` is the protection-active flag, changed only on success.
    int setProtection(bool on, std::atomic<bool>& active);
    // FM_SetExeDfd: 1 done, 0 failed.
    int setExeProtection(bool on);
    // Opens the item handle when it is not open (FM_Init). True when it is open.
    bool openHandle();

    // Reads the driver's table into `out` without touching the engine's own table, for a thread
    // other than the caller's (the access-request thread's write-back). True on success; `out`
    // then holds a table whose count and lengths are within their limits.
    bool readDriverTable(ItemTable& out);

    // The table pointer, null when there is none (for tests and diagnostics).
    const ItemTable* current() const;
    bool handleOpen() const { return handle_.isOpen(); }
    // Releases the table and closes the handle (test isolation).
    void releaseAll();

  private:
    bool readInto(ItemTable& table);

    mutable std::mutex mutex_;
    std::unique_ptr<ItemTable> table_;
    DeviceSlot handle_;
};

}  // namespace engine

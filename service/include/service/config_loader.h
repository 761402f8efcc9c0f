// Loading the protected items of the configuration file into the engine, and writing the
// driver's table back into the file. Both run on the service framework's thread only.
#pragma once

#include <string_view>

namespace service {

// The permitted-program string passed for an item with an empty value: the item is protected
// and only the system's own process is permitted, so a listed folder is never left open.
inline constexpr std::string_view kNoProgramPermitted = "SYSTEM:";

// Starts the engine afresh (FM_Init), empties the driver's table, and loads every key=value line
// of `section` as an item (names and values as they stand; the engine refuses what it does not
// take and upper-cases the rest), then applies the table when it holds at least one item.
// Returns true when the engine holds the items (also for a missing or empty section, or when
// every line was refused); false when FM_Init ("FM_INIT failed!" goes to the event log),
// FM_ClearItems or FM_ApplyItems failed.
bool loadConfig(std::string_view section);

// Writes the driver's item table into section "protection" (the table write-back). Returns
// false when the engine had no table to give or the file could not be written.
bool saveItems();

}  // namespace service

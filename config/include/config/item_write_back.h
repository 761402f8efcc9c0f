// The table write-back: every item of the driver's table goes into section "protection" as
// key = item name, value = permitted-program string. Used by the service at stop and by the
// engine after an "always allow" answer. Keys not in the table stay; no program section is
// written.
#pragma once

#include <string>

#include "vestral.h"

namespace config {

// Writes the first `table.Count` records (at most 1000), in table order, in one atomic update of
// the file at `path`. A record whose lengths are out of range (name 1 to 256, string 0 to 1000
// bytes) or whose name cannot be stored as a key is skipped; the others are written. Returns
// true when the file was updated (or already held every value), false when it could not be.
bool writeBackItems(const std::string& path, const ItemTable& table);

}  // namespace config

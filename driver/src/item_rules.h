// The protected items as the filter holds them: taken whole from an ItemTable, read back in
// the same layout, matched against opened paths and extended by "always allow" decisions.
// Not thread-safe: the owner (FilterDriver) guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vestral.h"

namespace vestrald {

struct ItemRule {
    std::string name;      // the NameLength bytes of the record
    std::string programs;  // the ProgramsLength bytes: names, each followed by ':'
};

class ItemRules {
  public:
    // Replaces the items with those of a table block of `size` bytes (at least the count and
    // `count` whole records). 0 when taken; EINVAL (nothing changed) when the block is short,
    // the count is over 1000 or a record has lengths the table does not allow.
    int apply(const uint8_t* block, size_t size);
    void clear() { items_.clear(); }

    // Fills a whole table: the count, the records, and zeros everywhere else.
    void toTable(ItemTable& table) const;

    // The first item that covers `path` and does not permit `programName`; -1 when every item
    // covering the path permits the program (or none covers it). `covered` (when given) tells
    // whether any item covers the path.
    int findRefusingItem(std::string_view path, std::string_view programName,
                         bool* covered = nullptr) const;

    // Adds `programName` (upper-cased, followed by ':') to the permitted string of the item
    // called `itemName`. True when the item now permits the program; false when the item is
    // gone or its string has no room left (1000 bytes).
    bool permitAlways(std::string_view itemName, std::string_view programName);

    const std::vector<ItemRule>& items() const { return items_; }
    bool empty() const { return items_.empty(); }

    static bool permits(std::string_view programs, std::string_view programName);

  private:
    std::vector<ItemRule> items_;
};

}  // namespace vestrald

#include "config/item_write_back.h"

#include <algorithm>
#include <string_view>

#include "config/config_file.h"
#include "config/profile_file.h"

namespace config {

bool writeBackItems(const std::string& path, const ItemTable& table) {
    // The count and lengths come from the driver: never read past a record or the table.
    const uint32_t count = std::min<uint32_t>(table.Count, VESTRAL_ITEMS_MAX);
    return updateProfile(path, [&](ProfileDocument& document) {
        for (uint32_t i = 0; i < count; ++i) {
            const ProtectedItem& item = table.Items[i];
            if (item.NameLength == 0 || item.NameLength > VESTRAL_ITEM_NAME_MAX ||
                item.ProgramsLength > VESTRAL_ITEM_PROGRAMS_MAX) {
                continue;
            }
            // A name that cannot be a key (line break, '=') is skipped; the rest are written.
            (void)document.setValue(kProtectionSection,
                                    std::string_view(item.Name, item.NameLength),
                                    std::string_view(item.Programs, item.ProgramsLength));
        }
        return true;
    });
}

}  // namespace config

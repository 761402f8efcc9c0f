#include "mount_table.h"

#include <gtest/gtest.h>

namespace vestrald {
namespace {

TEST(MountTable, BitsFollowMountInfoOrder) {
    const char* text =
        "22 1 0:21 / /proc rw,relatime shared:5 - proc proc rw\n"
        "26 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "40 26 0:35 / /mnt/my\\040disk rw master:3 - tmpfs none rw,size=8m\n"
        "garbage line\n"
        "41 26 0:36 / /media/usb rw - vfat /dev/sdb1 rw\n";
    auto table = parseMountInfo(text);
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[2].mountPoint, "/mnt/my disk");
    EXPECT_EQ(table[2].fsType, "tmpfs");

    // Pseudo file systems are never watched, whatever the mask says.
    EXPECT_EQ(selectMounts(table, 0xF, {}),
              (std::vector<std::string>{"/", "/mnt/my disk", "/media/usb"}));
    EXPECT_EQ(selectMounts(table, 0x4, {}), (std::vector<std::string>{"/mnt/my disk"}));
    // The allow list narrows whatever the mask selects.
    EXPECT_EQ(selectMounts(table, 0xF, {"/mnt/my disk"}),
              (std::vector<std::string>{"/mnt/my disk"}));
    EXPECT_TRUE(selectMounts(table, 0x2, {"/mnt/my disk"}).empty());
}

}  // namespace
}  // namespace vestrald

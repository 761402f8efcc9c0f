// The drive mask FM_Init sends: present drives less removable, optical and pseudo ones.
#include <gtest/gtest.h>

#include "drive_selection.h"
#include "platform/drives.h"

namespace {

using platform::DriveType;

TEST(DriveSelection, MaskKeepsFixedRemoteAndRamDrivesOfTheFirst32) {
    std::string text =
        "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"       // 0 fixed
        "2 1 0:3 / /proc rw - proc proc rw\n"        // 1 pseudo
        "3 1 11:0 / /cd ro - iso9660 /dev/sr0 ro\n"  // 2 optical
        "4 1 8:17 / /usb rw - vfat /dev/sdb1 rw\n"   // 3 removable
        "5 1 0:50 / /net rw - nfs srv:/x rw\n"       // 4 remote
        "6 1 0:22 / /run rw - tmpfs tmpfs rw\n";     // 5 RAM
    for (int i = 6; i < 40; ++i)
        text += "9 1 8:1 / /more rw - ext4 /dev/sda1 rw\n";
    platform::DriveTable table(platform::parseMountInfo(text),
                               [](unsigned, unsigned minor) { return minor == 17; });
    EXPECT_EQ(table.presentMask(), 0xFFFFFFFFu);
    EXPECT_EQ(table.typeOf(32), DriveType::NoRootDir);
    EXPECT_EQ(engine::selectDrives(table), 0xFFFFFFFFu & ~0b1110u);

    platform::DriveTable two(platform::parseMountInfo(text.substr(0, text.find("3 1"))), nullptr);
    EXPECT_EQ(two.presentMask(), 0b11u);
    EXPECT_EQ(engine::selectDrives(two), 0b01u);
}

}  // namespace

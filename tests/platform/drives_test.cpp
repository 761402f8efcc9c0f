// The drive list from mountinfo: parsing, the type of each mount, the mask the engine builds.
#include <gtest/gtest.h>

#include <random>

#include "platform/drives.h"

namespace {

using platform::DriveType;

TEST(Drives, MountInfoLinesAreParsed) {
    const char* text =
        "36 35 98:0 /mnt1 /mnt/with\\040space rw,noatime master:1 - ext3 /dev/root rw\n"
        "garbage line\n"
        "37 35 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
        "38 35 x:1 / /bad rw - ext4 /dev/x rw\n"
        "39 35 0:5 / /no-separator rw ext4 /dev/y rw\n";
    auto mounts = platform::parseMountInfo(text);
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[0].major, 98u);
    EXPECT_EQ(mounts[0].minor, 0u);
    EXPECT_EQ(mounts[0].mountPoint, "/mnt/with space");
    EXPECT_EQ(mounts[0].fsType, "ext3");
    EXPECT_EQ(mounts[0].source, "/dev/root");
    EXPECT_EQ(mounts[1].mountPoint, "/media/usb");
}

TEST(Drives, EachMountHasTheTypeOfItsFileSystem) {
    struct Case {
        const char* line;
        DriveType type;
    };
    const Case cases[] = {
        {"1 0 8:1 / / rw - ext4 /dev/sda1 rw", DriveType::Fixed},
        {"1 0 0:31 / / rw - overlay overlay rw", DriveType::Fixed},
        {"1 0 0:40 / /home rw - btrfs /dev/nvme0n1p2 rw", DriveType::Fixed},
        {"1 0 8:17 / /media/usb rw - vfat /dev/sdb1 rw", DriveType::Removable},
        {"1 0 11:0 / /media/cd ro - iso9660 /dev/sr0 ro", DriveType::CdRom},
        {"1 0 8:33 / /media/dvd ro - udf /dev/sdc1 ro", DriveType::CdRom},
        {"1 0 0:50 / /net rw - nfs4 server:/export rw", DriveType::Remote},
        {"1 0 0:51 / /share rw - cifs //host/share rw", DriveType::Remote},
        {"1 0 0:22 / /run rw - tmpfs tmpfs rw", DriveType::RamDisk},
        {"1 0 0:23 / /proc rw - proc proc rw", DriveType::Unknown},
        {"1 0 0:24 / /sys rw - sysfs sysfs rw", DriveType::Unknown},
        {"1 0 0:25 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw", DriveType::Unknown},
    };
    // Device 8:17 and 8:33 hold removable media; 8:1 does not.
    auto removable = [](unsigned major, unsigned minor) {
        return major == 8 && (minor == 17 || minor == 33);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto mounts = platform::parseMountInfo(c.line);
        ASSERT_EQ(mounts.size(), 1u);
        EXPECT_EQ(platform::classifyMount(mounts[0], removable), c.type);
    }
}

TEST(Drives, ThisMachinesMountsParse) {
    platform::DriveTable table = platform::DriveTable::current();
    EXPECT_NE(table.presentMask(), 0u);
}

// mountinfo is outside input: random damage to a real-looking text never crashes the parser.
TEST(Drives, RandomizedMountInfoNeverCrashes) {
    const std::string sample =
        "36 35 98:0 /mnt1 /mnt\\0402 rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n"
        "37 35 0:22 / /run rw shared:5 - tmpfs tmpfs rw,size=100k\n";
    std::mt19937 random(12345);
    const char alphabet[] = " -:\\\n0123456789abc";
    for (int round = 0; round < 5000; ++round) {
        std::string text = sample;
        int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            size_t at = random() % (text.size() + 1);
            switch (random() % 3) {
                case 0:
                    if (at < text.size())
                        text.erase(at, 1 + random() % 4);
                    break;
                case 1:
                    text.insert(at, 1, alphabet[random() % (sizeof(alphabet) - 1)]);
                    break;
                default:
                    text = text.substr(0, at);
            }
        }
        auto mounts = platform::parseMountInfo(text);
        EXPECT_LE(mounts.size(), 3u);
        for (const auto& m : mounts)
            platform::classifyMount(m, nullptr);
    }
}

}  // namespace

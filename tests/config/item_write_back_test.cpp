#include "config/item_write_back.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "config/profile_file.h"
#include "temp_dir.h"

namespace config {
namespace {

void setItem(ProtectedItem& item, const std::string& name, const std::string& programs) {
    std::memcpy(item.Name, name.data(), std::min(name.size(), sizeof item.Name));
    std::memcpy(item.Programs, programs.data(), std::min(programs.size(), sizeof item.Programs));
    item.NameLength = static_cast<uint32_t>(name.size());
    item.ProgramsLength = static_cast<uint32_t>(programs.size());
}

class ItemWriteBackTest : public testing::Test {
  protected:
    TempDir dir_;
    std::string ini_ = dir_.file("Corvantis.ini");
    // Filled with a pattern: bytes after each length and records after the count are garbage.
    std::unique_ptr<ItemTable> table_ = [] {
        auto table = std::make_unique<ItemTable>();
        std::memset(table.get(), 'Q', sizeof(ItemTable));
        table->Count = 0;
        return table;
    }();
};

TEST_F(ItemWriteBackTest, WritesEveryRecordUnderItsKeyAndKeepsTheRest) {
    writeWholeFile(ini_,
                   "[Advanced]\nDataAlert=YES\n\n[protection]\n/home/a/*=vi:\n/KEEP/*=CAT:\n\n"
                   "[VI]\nProcPath=/usr/bin/vi\n");
    setItem(table_->Items[0], "/HOME/A/*", "VI:LESS:");
    setItem(table_->Items[1], "/NEW/*", "SYSTEM:");
    table_->Count = 2;
    ASSERT_TRUE(writeBackItems(ini_, *table_));
    EXPECT_EQ(readWholeFile(ini_),
              "[Advanced]\nDataAlert=YES\n\n[protection]\n/home/a/*=VI:LESS:\n/KEEP/*=CAT:\n"
              "/NEW/*=SYSTEM:\n\n[VI]\nProcPath=/usr/bin/vi\n");
}

TEST_F(ItemWriteBackTest, FullLengthFieldsAndAnEmptyFile) {
    const std::string name(VESTRAL_ITEM_NAME_MAX, 'N');
    const std::string programs = std::string(VESTRAL_ITEM_PROGRAMS_MAX - 1, 'P') + ":";
    setItem(table_->Items[0], name, programs);
    table_->Count = 1;
    ASSERT_TRUE(writeBackItems(ini_, *table_));
    EXPECT_EQ(readWholeFile(ini_), "[protection]\n" + name + "=" + programs + "\n");
}

TEST_F(ItemWriteBackTest, SkipsRecordsThatAreOutOfRangeOrCannotBeKeys) {
    setItem(table_->Items[0], "/OK/*", "VI:");
    setItem(table_->Items[1], "/EVIL\n[Advanced]\nDataAlert", "NO");
    setItem(table_->Items[2], "/A=B/*", "VI:");
    setItem(table_->Items[3], "/LONG/*", "VI:");
    table_->Items[3].NameLength = VESTRAL_ITEM_NAME_MAX + 1;
    setItem(table_->Items[4], "/LONGER/*", "VI:");
    table_->Items[4].ProgramsLength = 0xFFFFFFFFu;
    setItem(table_->Items[5], "", "VI:");
    setItem(table_->Items[6], "/LAST/*", "CAT:");
    table_->Count = 7;
    ASSERT_TRUE(writeBackItems(ini_, *table_));
    EXPECT_EQ(readWholeFile(ini_), "[protection]\n/OK/*=VI:\n/LAST/*=CAT:\n");
}

TEST_F(ItemWriteBackTest, CountAboveTheTableSizeReadsNoFurtherThanTheTable) {
    for (uint32_t i = 0; i < VESTRAL_ITEMS_MAX; ++i) {
        setItem(table_->Items[i], "/I" + std::to_string(i), "X:");
    }
    table_->Count = 0xFFFFFFFFu;
    ASSERT_TRUE(writeBackItems(ini_, *table_));
    auto entries = readProfileSection(ini_, "protection");
    ASSERT_EQ(entries.size(), size_t{VESTRAL_ITEMS_MAX});
    EXPECT_EQ(entries.back().key, "/I999");
}

TEST_F(ItemWriteBackTest, FailsWhenTheFileCannotBeWritten) {
    table_->Count = 0;
    EXPECT_FALSE(writeBackItems(dir_.file("missing/Corvantis.ini"), *table_));
}

}  // namespace
}  // namespace config

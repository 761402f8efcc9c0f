// The protected-item table: building it, handing it to the driver, reading it back, and the
// protection switches that share its handle.
#include <cstring>

#include "engine_fixture.h"

namespace enginetest {
namespace {

std::string itemName(const ProtectedItem& item) {
    return std::string(item.Name, item.NameLength);
}
std::string itemPrograms(const ProtectedItem& item) {
    return std::string(item.Programs, item.ProgramsLength);
}

TEST_F(EngineTest, AddItemsAcceptsOnlyItemsWithinTheLimits) {
    struct Case {
        const char* what;
        std::string name;
        std::string programs;
        bool accepted;
    };
    const Case cases[] = {
        {"name of 256 bytes", std::string(256, 'n'), "EXPLORER.EXE:", true},
        {"name of 257 bytes", std::string(257, 'n'), "EXPLORER.EXE:", false},
        {"empty name", "", "EXPLORER.EXE:", false},
        {"string without final colon", "C:\\A", "EXPLORER.EXE", false},
        {"a lone colon", "C:\\A", ":", false},
        {"any two bytes ending in a colon", "C:\\A", "x:", true},
        {"string of 1000 bytes", "C:\\A", std::string(999, 'p') + ":", true},
        {"string of 1001 bytes", "C:\\A", std::string(1000, 'p') + ":", false},
    };
    uint32_t expected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ItemTable* table = add(c.name, c.programs);
        if (c.accepted)
            ++expected;
        if (expected == 0) {
            EXPECT_EQ(table, nullptr);
            continue;
        }
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->Count, expected);
    }
    // The 256-byte name is stored whole, with no room for (or need of) a terminating zero.
    const ProtectedItem& first = engineTable()->Items[0];
    EXPECT_EQ(first.NameLength, 256u);
    EXPECT_EQ(itemName(first), std::string(256, 'N'));
}

TEST_F(EngineTest, AddItemsRefusesNullPointers) {
    EXPECT_EQ(engine::addItems(nullptr, 4, "A:", 2), nullptr);
    EXPECT_EQ(engine::addItems("C:\\A", 4, nullptr, 2), nullptr);
    ItemTable* table = add("C:\\A", "A:");
    ASSERT_NE(table, nullptr);
    // A refused item returns the current table unchanged.
    EXPECT_EQ(engine::addItems(nullptr, 4, "A:", 2), table);
    EXPECT_EQ(table->Count, 1u);
}

TEST_F(EngineTest, AddItemsUpperCasesOnlyAsciiLettersAndLeavesTheCallerAlone) {
    std::string name = "c:\\Docs\\\xe4rger.txt";  // 0xE4 stays as it is
    std::string programs = "explorer.exe:notepad.exe:";
    const std::string nameBefore = name, programsBefore = programs;
    ItemTable* table = add(name, programs);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(itemName(table->Items[0]), "C:\\DOCS\\\xe4RGER.TXT");
    EXPECT_EQ(itemPrograms(table->Items[0]), "EXPLORER.EXE:NOTEPAD.EXE:");
    EXPECT_EQ(name, nameBefore);
    EXPECT_EQ(programs, programsBefore);
}

TEST_F(EngineTest, TableHoldsAtMostAThousandItems) {
    ItemTable* table = nullptr;
    for (int i = 0; i < 1001; ++i)
        table = add("C:\\F" + std::to_string(i), "A.EXE:");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->Count, 1000u);
    EXPECT_EQ(itemName(table->Items[999]), "C:\\F999");
}

TEST_F(EngineTest, ApplyItemsHandsTheWholeTableOverAndReleasesIt) {
    EXPECT_EQ(engine::applyItems(), 0);  // nothing added: nothing sent
    EXPECT_EQ(driver.count(IOCTL_CONTROL_APPLY_ITEMS), 0u);

    add("c:\\secret", "explorer.exe:");
    add("d:\\work", "word.exe:");
    ASSERT_EQ(engine::applyItems(), 1);
    std::vector<fake::Item> expected = {{"C:\\SECRET", "EXPLORER.EXE:"}, {"D:\\WORK", "WORD.EXE:"}};
    EXPECT_EQ(driver.items(), expected);
    EXPECT_EQ(driver.log().back().input.size(), sizeof(ItemTable));
    // The table is gone; the next item starts a new one.
    EXPECT_EQ(engineTable(), nullptr);
    ItemTable* fresh = add("e:\\x", "a:");
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->Count, 1u);
}

TEST_F(EngineTest, FailedApplyKeepsTheTable) {
    add("c:\\secret", "explorer.exe:");
    driver.injectFault(IOCTL_CONTROL_APPLY_ITEMS, fake::Fault::Fail, EIO, 1);
    EXPECT_EQ(engine::applyItems(), 0);
    ASSERT_NE(engineTable(), nullptr);
    EXPECT_EQ(engineTable()->Count, 1u);
    EXPECT_EQ(engine::applyItems(), 1);  // the same table, sent again by the caller
    EXPECT_EQ(driver.items().size(), 1u);
}

TEST_F(EngineTest, GetItemsReplacesPendingItemsWithTheDriversTable) {
    driver.setItems({{"C:\\KEPT", "EXPLORER.EXE:"}});
    ItemTable* pending = add("c:\\pending", "a:");
    ItemTable* table = engine::getItems();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table, pending);  // the same block, now filled from the driver
    ASSERT_EQ(table->Count, 1u);
    EXPECT_EQ(itemName(table->Items[0]), "C:\\KEPT");
    EXPECT_EQ(driver.log().back().outLen, sizeof(ItemTable));
}

// A table the driver sends must not lead callers past a record or the block: a count over
// 1000, a length over its field, or a reply that stops before the records it counts is refused,
// and a failing read releases the table.
TEST_F(EngineTest, GetItemsRefusesTablesThatWouldOverrunTheirReaders) {
    struct Case {
        const char* what;
        std::function<void(ItemTable&)> spoil;
        size_t replyBytes;  // bytes of the table that travel back
    };
    const size_t whole = sizeof(ItemTable);
    const Case cases[] = {
        {"count over 1000", [](ItemTable& t) { t.Count = 1001; }, whole},
        {"name length over 256", [](ItemTable& t) { t.Items[0].NameLength = 257; }, whole},
        {"string length over 1000", [](ItemTable& t) { t.Items[1].ProgramsLength = 1001; }, whole},
        {"reply cut inside the second record", [](ItemTable&) {}, 4 + sizeof(ProtectedItem) + 10},
        {"reply without a count", [](ItemTable&) {}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        driver.setItems({{"C:\\A", "A:"}, {"C:\\B", "B:"}});
        ItemTable spoiled = driver.table();
        c.spoil(spoiled);
        driver.setHandler(IOCTL_CONTROL_GET_ITEMS,
                          [&](const fake::LoggedRequest&, std::vector<uint8_t>& out, int&) {
                              const auto* bytes = reinterpret_cast<const uint8_t*>(&spoiled);
                              out.assign(bytes, bytes + c.replyBytes);
                              return true;
                          });
        add("c:\\pending", "a:");
        EXPECT_EQ(engine::getItems(), nullptr);
        EXPECT_EQ(engineTable(), nullptr);
    }
    driver.setHandler(IOCTL_CONTROL_GET_ITEMS, nullptr);
    // A reply that ends after the records it counts is whole enough.
    ItemTable two = driver.table();
    driver.setHandler(IOCTL_CONTROL_GET_ITEMS,
                      [&](const fake::LoggedRequest&, std::vector<uint8_t>& out, int&) {
                          const auto* bytes = reinterpret_cast<const uint8_t*>(&two);
                          out.assign(bytes, bytes + 4 + 2 * sizeof(ProtectedItem));
                          return true;
                      });
    ItemTable* table = engine::getItems();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->Count, 2u);
    driver.setHandler(IOCTL_CONTROL_GET_ITEMS, nullptr);
    // A failed read releases the table too; a sound table afterwards is read as usual.
    driver.setItems({{"C:\\A", "A:"}});
    add("c:\\pending", "a:");
    driver.injectFault(IOCTL_CONTROL_GET_ITEMS, fake::Fault::Fail, EIO, 1);
    EXPECT_EQ(engine::getItems(), nullptr);
    EXPECT_EQ(engineTable(), nullptr);
    table = engine::getItems();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->Count, 1u);
}

TEST_F(EngineTest, ClearItemsEmptiesTheDriverButNotTheEngine) {
    driver.setItems({{"C:\\A", "A:"}});
    add("c:\\pending", "a:");
    EXPECT_EQ(engine::clearItems(), 1);
    EXPECT_TRUE(driver.items().empty());
    ASSERT_NE(engineTable(), nullptr);
    EXPECT_EQ(engineTable()->Count, 1u);
    driver.injectFault(IOCTL_CONTROL_CLEAR_ITEMS, fake::Fault::Fail);
    EXPECT_EQ(engine::clearItems(), 0);
}

TEST_F(EngineTest, SetControlSwitchesProtectionAndTheFlag) {
    auto& state = engine::EngineState::instance();
    EXPECT_EQ(engine::setControl(7), 1);
    EXPECT_TRUE(driver.protectionOn());
    EXPECT_TRUE(state.protectionActive);

    // Switching off drops a pending table and closes the item handle...
    add("c:\\pending", "a:");
    EXPECT_EQ(engine::setControl(0), 1);
    EXPECT_FALSE(driver.protectionOn());
    EXPECT_FALSE(state.protectionActive);
    EXPECT_EQ(engineTable(), nullptr);
    EXPECT_FALSE(state.items.handleOpen());
    // ...and the next item request opens a new one.
    int before = driver.connectionsAccepted(VESTRAL_CONTROL_DEVICE);
    EXPECT_EQ(engine::clearItems(), 1);
    EXPECT_EQ(driver.connectionsAccepted(VESTRAL_CONTROL_DEVICE), before + 1);
}

TEST_F(EngineTest, FailedSetControlChangesNothing) {
    auto& state = engine::EngineState::instance();
    ASSERT_EQ(engine::setControl(1), 1);
    add("c:\\pending", "a:");
    driver.injectFault(IOCTL_CONTROL_PROTECT_OFF, fake::Fault::Fail);
    EXPECT_EQ(engine::setControl(0), 0);
    EXPECT_TRUE(state.protectionActive);
    EXPECT_NE(engineTable(), nullptr);
    EXPECT_TRUE(state.items.handleOpen());

    state.protectionActive = false;
    driver.injectFault(IOCTL_CONTROL_PROTECT_ON, fake::Fault::Fail);
    EXPECT_EQ(engine::setControl(1), 0);
    EXPECT_FALSE(state.protectionActive);
}

// The control panel switches executable protection in its own process, without FM_Init.
TEST_F(EngineTest, SetExeDfdWorksWithoutInitAndRemembersNothing) {
    EXPECT_EQ(engine::setExeDfd(1), 1);
    EXPECT_TRUE(driver.exeProtectionOn());
    EXPECT_EQ(engine::setExeDfd(0), 1);
    EXPECT_FALSE(driver.exeProtectionOn());
    EXPECT_EQ(driver.codes(), (std::vector<uint32_t>{IOCTL_CONTROL_EXE_ON, IOCTL_CONTROL_EXE_OFF}));
    driver.injectFault(IOCTL_CONTROL_EXE_ON, fake::Fault::Fail);
    EXPECT_EQ(engine::setExeDfd(1), 0);
    // After FM_SetControl(0) closed the item handle, FM_SetExeDfd opens a new one.
    driver.clearFaults();
    ASSERT_EQ(engine::setControl(0), 1);
    EXPECT_EQ(engine::setExeDfd(1), 1);
    auto log = driver.log();
    EXPECT_NE(log.back().connection, log[log.size() - 2].connection);
}

// The access-request thread reads the driver's table under the same lock as the caller's item
// functions; running both at once must leave every table whole.
TEST_F(EngineTest, DriverTableReadsAndItemCallsDoNotMeet) {
    driver.setItems({{"C:\\A", "A:"}, {"C:\\B", "B:"}});
    auto& items = engine::EngineState::instance().items;
    std::atomic<bool> stop{false};
    std::thread other([&] {
        auto table = std::make_unique<ItemTable>();
        while (!stop) {
            if (items.readDriverTable(*table)) {
                EXPECT_LE(table->Count, 3u);
            }
        }
    });
    for (int i = 0; i < 20; ++i) {
        add("c:\\x", "x:");
        ItemTable* table = engine::getItems();
        ASSERT_NE(table, nullptr);
        EXPECT_GE(table->Count, 2u);
        engine::resetItems();
    }
    stop = true;
    other.join();
}

}  // namespace
}  // namespace enginetest

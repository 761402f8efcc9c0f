#include "name_matching.h"

#include <gtest/gtest.h>

#include "item_rules.h"

namespace vestrald {
namespace {

struct CoverCase {
    const char* item;
    const char* path;
    bool covered;
};

TEST(NameMatching, ItemCoversPathsBelowItWithWildcardsAndWithoutCase) {
    const CoverCase cases[] = {
        {"/DATA/SECRET", "/data/secret", true},          // the item itself
        {"/DATA/SECRET", "/data/secret/a/b.txt", true},  // below a folder item
        {"/DATA/SECRET/", "/data/secret/b.txt", true},   // trailing '/'
        {"/DATA/SECRET", "/data/secretive.txt", false},  // a longer name is another file
        {"/DATA/SECRET", "/data", false},
        {"/DATA/*.DOC", "/data/x.doc", true},
        {"/DATA/*.DOC", "/data/x.docx", false},
        {"/DATA/*", "/data/sub/deep/file", true},  // '*' spans folders
        {"/DATA/A*B*C", "/data/aXXbYYc", true},
        {"/DATA/A*B*C", "/data/aXXbYY", false},
        {"/DATA/*/KEYS", "/data/u1/keys/id_rsa", true},
        {"/DATA/\xC4*", "/data/\xC4x", true},  // bytes over 0x7F compare as they are
        {"/DATA/\xC4*", "/data/\xE4x", false},
        {"/", "/anything", true},
        {"", "/anything", false},
    };
    for (const CoverCase& c : cases)
        EXPECT_EQ(itemCoversPath(c.item, c.path), c.covered) << c.item << " vs " << c.path;
}

TEST(NameMatching, ExecutableNamesAndPermittedPrograms) {
    EXPECT_TRUE(isExecutableName("/x/setup.EXE"));
    EXPECT_TRUE(isExecutableName("/x/a.Dll"));
    EXPECT_TRUE(isExecutableName("/x/run.bat"));
    EXPECT_TRUE(isExecutableName("/x/cmd.com"));
    EXPECT_FALSE(isExecutableName("/x/setup.exe.txt"));
    EXPECT_FALSE(isExecutableName("/x.exe/readme"));
    EXPECT_FALSE(isExecutableName("/x/exe"));

    EXPECT_TRUE(ItemRules::permits("EXPLORER.EXE:", "explorer.exe"));
    EXPECT_TRUE(ItemRules::permits("A:VIM:B:", "vim"));
    EXPECT_FALSE(ItemRules::permits("AVIM:", "vim"));
    EXPECT_FALSE(ItemRules::permits("VIM:", "vi"));
    EXPECT_FALSE(ItemRules::permits("::", ""));
}

}  // namespace
}  // namespace vestrald

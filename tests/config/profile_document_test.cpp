#include "config/profile_document.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fixture_file.h"

namespace config {
namespace {

struct ReadCase {
    const char* fixture;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

class ProfileReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ProfileReadTest, ReadsValueByTheFileRules) {
    const ReadCase& c = GetParam();
    auto doc = ProfileDocument::parse(readConfigFixture(c.fixture));
    auto value = doc.value(c.section, c.key);
    if (c.expected) {
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, *c.expected);
    } else {
        EXPECT_FALSE(value.has_value()) << std::string(*value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ProfileReadTest,
    testing::Values(
        // Names compare without regard to case; values lose the blanks around them.
        ReadCase{"layout.ini", "ADVANCED", "dataalert", "YES"},
        ReadCase{"layout.ini", "Advanced", "TjDfd", "NO"},
        ReadCase{"layout.ini", "protection", "/HOME/A/*", "VI:"},
        ReadCase{"layout.ini", "Advanced", "ProcPath", std::nullopt},
        ReadCase{"layout.ini", "Missing", "DataAlert", std::nullopt},
        // CR LF line ends are not part of values.
        ReadCase{"crlf.ini", "Advanced", "DataAlert", "YES"},
        ReadCase{"crlf.ini", "Advanced", "MailServer", "mail.example.org"},
        ReadCase{"crlf.ini", "protection", "C:\\DOCS\\*", "EXPLORER.EXE:"},
        // First occurrence wins, of a key and of a section.
        ReadCase{"duplicates.ini", "Advanced", "MailAddr", "first@example.org"},
        ReadCase{"duplicates.ini", "Advanced", "MailUser", std::nullopt},
        ReadCase{"duplicates.ini", "protection", "/HOME/B/*", std::nullopt},
        // Lines before the first header and under a broken header belong to no section; the
        // first '=' splits; a header name ends at the last ']'.
        ReadCase{"malformed.ini", "Advanced", "LogPath", std::nullopt},
        ReadCase{"malformed.ini", "Advanced", "MailAddr", "a=b"},
        ReadCase{"malformed.ini", "Advanced", "", "no name"},
        ReadCase{"malformed.ini", "Advanced", "not a key line", std::nullopt},
        ReadCase{"malformed.ini", "", "empty", "section name"}));

TEST(ProfileDocumentTest, EntriesKeepFileOrderAndFirstOccurrenceOfAKey) {
    auto doc = ProfileDocument::parse(readConfigFixture("duplicates.ini"));
    auto advanced = doc.entries("advanced");
    ASSERT_EQ(advanced.size(), 1u);
    EXPECT_EQ(advanced[0].key, "MailAddr");
    EXPECT_EQ(advanced[0].value, "first@example.org");

    auto malformed = ProfileDocument::parse(readConfigFixture("malformed.ini")).entries("Advanced");
    ASSERT_EQ(malformed.size(), 2u);
    EXPECT_EQ(malformed[0].key, "MailAddr");
    EXPECT_EQ(malformed[1].key, "");
    EXPECT_EQ(malformed[1].value, "no name");

    EXPECT_TRUE(doc.entries("nowhere").empty());
}

struct WriteCase {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
};

class ProfileWriteTest : public testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWriteTest, ChangesOnlyWhatTheWriteConcerns) {
    const WriteCase& c = GetParam();
    auto doc = ProfileDocument::parse(c.before);
    ASSERT_TRUE(doc.setValue(c.section, c.key, c.value));
    EXPECT_EQ(doc.serialize(), c.after);
    EXPECT_EQ(doc.value(c.section, c.key), std::optional<std::string_view>(c.value));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWriteTest,
    testing::Values(
        WriteCase{"EmptyFile", "", "Advanced", "FirstRun", "NO", "[Advanced]\nFirstRun=NO\n"},
        WriteCase{"ReplaceKeepsKeyTextAndLayout", "[a]\n  Key = old \nz=1\n", "A", "KEY", "new",
                  "[a]\n  Key =new\nz=1\n"},
        WriteCase{"AddGoesBeforeBlankSeparator", "[a]\nx=1\n\n[b]\ny=2\n", "a", "k", "v",
                  "[a]\nx=1\nk=v\n\n[b]\ny=2\n"},
        WriteCase{"NewSectionAfterBlankLine", "[a]\nx=1", "b", "k", "v", "[a]\nx=1\n\n[b]\nk=v\n"},
        WriteCase{"CrLfFileStaysCrLf", "[a]\r\nx=1\r\n", "a", "k", "v", "[a]\r\nx=1\r\nk=v\r\n"},
        WriteCase{"DuplicateSectionWritesFirst", "[a]\nx=1\n[A]\nk=old\n", "a", "k", "v",
                  "[a]\nx=1\nk=v\n[A]\nk=old\n"},
        WriteCase{"EmptyValue", "[p]\n", "p", "/HOME/*", "", "[p]\n/HOME/*=\n"},
        WriteCase{"KeyIsTrimmed", "", "p", "  /X  ", "V:", "[p]\n/X=V:\n"}),
    [](const testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST(ProfileDocumentTest, RefusesWhatCouldNotBeReadBackAndChangesNothing) {
    const std::string text = "[a]\nx=1\n";
    struct Refused {
        const char* section;
        const char* key;
        const char* value;
    };
    for (const Refused& r :
         {Refused{"a", "", "v"}, Refused{"a", "   ", "v"}, Refused{"a", "k=x", "v"},
          Refused{"a", "[k]", "v"}, Refused{"a", "k\nz", "v"}, Refused{"a", "k", "v\n[b]"},
          Refused{"a", "k", "v\rw"}, Refused{"a\nb", "k", "v"}}) {
        auto doc = ProfileDocument::parse(text);
        EXPECT_FALSE(doc.setValue(r.section, r.key, r.value)) << r.key << " / " << r.value;
        EXPECT_EQ(doc.serialize(), text);
    }
    auto doc = ProfileDocument::parse(text);
    EXPECT_FALSE(doc.emptySection("a\r"));
    EXPECT_EQ(doc.serialize(), text);
}

TEST(ProfileDocumentTest, EmptySectionKeepsHeaderSeparatorAndOtherSections) {
    auto doc = ProfileDocument::parse(readConfigFixture("layout.ini"));
    ASSERT_TRUE(doc.emptySection("PROTECTION"));
    EXPECT_EQ(doc.serialize(),
              "; written by hand\n[Advanced]\nDataAlert=YES\n  TjDfd = NO\n\n[protection]\n\n"
              "[VI]\nProcPath=/usr/bin/vi\n");
    EXPECT_TRUE(doc.entries("protection").empty());

    // A missing section is added, empty; filling it afterwards puts the keys under it.
    auto fresh = ProfileDocument::parse("[a]\r\nx=1\r\n");
    ASSERT_TRUE(fresh.emptySection("protection"));
    ASSERT_TRUE(fresh.setValue("protection", "/A", "B:"));
    EXPECT_EQ(fresh.serialize(), "[a]\r\nx=1\r\n\r\n[protection]\r\n/A=B:\r\n");
}

TEST(ProfileDocumentTest, UnchangedLinesKeepTheirBytes) {
    const std::string text = readConfigFixture("malformed.ini") + "\r\nmixed=line\n\x01\xff=\x80";
    auto doc = ProfileDocument::parse(text);
    EXPECT_EQ(doc.serialize(), text);
    ASSERT_TRUE(doc.setValue("Advanced", "MailAddr", "x@y"));
    std::string expected = text;
    expected.replace(expected.find("=  a=b  "), 8, "=x@y");
    EXPECT_EQ(doc.serialize(), expected);
}

}  // namespace
}  // namespace config

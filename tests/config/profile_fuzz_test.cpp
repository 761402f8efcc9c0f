// Randomized malformed files (binary bytes, huge lines, no headers, lines without '=', duplicate
// sections and keys, mixed line ends) fed to every read function and to the writers. Run under
// AddressSanitizer; each property below must hold for every file.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "config/profile_document.h"
#include "config/profile_file.h"
#include "temp_dir.h"

namespace config {
namespace {

const std::vector<std::string> kSections = {"Advanced", "ADVANCED", "protection", "",
                                            " a b ",    "x]y",      "[z"};
const std::vector<std::string> kKeys = {"DataAlert", "dataalert", "MailLog", "/home/*",
                                        "",          "k",         "a b"};

std::string lowered(std::string text) {
    for (char& c : text)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return text;
}

class MalformedFileGenerator {
  public:
    explicit MalformedFileGenerator(uint32_t seed) : random_(seed) {}

    std::string file() {
        std::string text;
        const int lines = pick(0, 40);
        for (int i = 0; i < lines; ++i) {
            text += line();
            text += ending();
        }
        return text;
    }

    std::string storableValue() {
        std::string value = bytes(pick(0, 12));
        for (char& c : value) {
            if (c == '\r' || c == '\n')
                c = 'v';
        }
        return value;
    }
    const std::string& section() { return kSections[pick(0, kSections.size() - 1)]; }
    const std::string& key() { return kKeys[pick(0, kKeys.size() - 1)]; }
    int pick(size_t low, size_t high) {
        return static_cast<int>(std::uniform_int_distribution<size_t>(low, high)(random_));
    }

  private:
    std::string blanks() { return std::string(pick(0, 2), pick(0, 1) ? ' ' : '\t'); }
    std::string bytes(int count) {
        std::string out;
        for (int i = 0; i < count; ++i)
            out += static_cast<char>(pick(0, 255));
        return out;
    }
    std::string line() {
        switch (pick(0, 9)) {
            case 0:
                return blanks() + "[" + blanks() + section() + blanks() + "]" + bytes(pick(0, 3));
            case 1:
                return "[" + section();  // no closing bracket
            case 2:
                return bytes(pick(0, 30));
            case 3:
                return key();  // no '='
            case 4:
                return std::string(pick(0, 20) == 0 ? (1 << 20) : 300, 'L') + "=" + bytes(4);
            case 5:
                return blanks() + key() + blanks() + "=" + blanks() + storableValue() + "=" +
                       bytes(2);
            default:
                return blanks() + key() + blanks() + "=" + blanks() + storableValue() + blanks();
        }
    }
    std::string ending() {
        static const char* const kEndings[] = {"\n", "\r\n", "\r", "\r\r\n", ""};
        return kEndings[pick(0, 4)];
    }
    std::mt19937 random_;
};

// Every read function, on the file and on the parsed document, agrees with itself.
void checkReads(const std::string& path, const std::string& text) {
    ProfileDocument doc = ProfileDocument::parse(text);
    ASSERT_EQ(doc.serialize(), text);
    for (const std::string& section : kSections) {
        auto entries = readProfileSection(path, section);
        std::unordered_set<std::string> seen;
        for (const ProfileEntry& entry : entries) {
            ASSERT_TRUE(seen.insert(lowered(entry.key)).second) << "duplicate key " << entry.key;
            ASSERT_EQ(doc.value(section, entry.key), std::optional<std::string_view>(entry.value));
        }
        for (const std::string& key : kKeys) {
            auto value = doc.value(section, key);
            for (size_t limit : {size_t{0}, size_t{1}, size_t{7}, size_t{255}, std::string::npos}) {
                std::string read = readProfileString(path, section, key, "default", limit);
                ASSERT_LE(read.size(), limit);
                ASSERT_EQ(read, std::string(value.value_or("default")).substr(0, limit));
            }
        }
    }
}

TEST(ProfileFuzzTest, MalformedFilesReadInADefinedWayAndSurviveWrites) {
    TempDir dir;
    const std::string path = dir.file("fuzz.ini");
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        MalformedFileGenerator gen(seed);
        const std::string text = gen.file();
        writeWholeFile(path, text);
        checkReads(path, text);
        if (HasFatalFailure())
            return;

        // A write sets its key and leaves every other section as it read before.
        const std::string section = gen.section(), key = gen.key(), value = gen.storableValue();
        ProfileDocument before = ProfileDocument::parse(text);
        const bool storable = !key.empty() && key.find_first_not_of(" \t") != std::string::npos;
        ASSERT_EQ(writeProfileString(path, section, key, value), storable);
        const std::string after = readWholeFile(path);
        checkReads(path, after);
        if (HasFatalFailure())
            return;
        ProfileDocument doc = ProfileDocument::parse(after);
        if (storable) {
            std::string trimmedValue = value;
            trimmedValue.erase(0, trimmedValue.find_first_not_of(" \t\v\f"));
            trimmedValue.erase(trimmedValue.find_last_not_of(" \t\v\f") + 1);
            EXPECT_EQ(doc.value(section, key), std::optional<std::string_view>(trimmedValue));
        }
        for (const std::string& other : kSections) {
            if (lowered(other) == lowered(section)) {
                continue;
            }
            auto a = before.entries(other), b = doc.entries(other);
            ASSERT_EQ(a.size(), b.size()) << other;
            for (size_t i = 0; i < a.size(); ++i) {
                ASSERT_EQ(a[i].key, b[i].key);
                ASSERT_EQ(a[i].value, b[i].value);
            }
        }

        ASSERT_TRUE(emptyProfileSection(path, section));
        EXPECT_TRUE(readProfileSection(path, section).empty());
        EXPECT_TRUE(ProfileDocument::parse(readWholeFile(path)).hasSection(section));
    }
}

}  // namespace
}  // namespace config

// The contents of one profile file held in memory: its lines as they were read, each with its
// own line end, so that a rewrite keeps every line it does not change byte for byte.
// Parsing never fails: any byte sequence gives a document (see profile_file.h for the rules).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace config {

struct ProfileEntry {
    std::string key;
    std::string value;
};

class ProfileDocument {
  public:
    ProfileDocument() = default;

    // Splits `text` into lines at LF (a CR before the LF belongs to the line end). The line-end
    // style of new lines is that of the first line end in `text`; LF when there is none.
    static ProfileDocument parse(std::string_view text);
    // The file contents: every line with its line end.
    std::string serialize() const;

    // The trimmed value of the first `key` line in the first `section`, or nothing.
    std::optional<std::string_view> value(std::string_view section, std::string_view key) const;
    // The key=value lines of the first `section`, in order, first occurrence of each key only.
    std::vector<ProfileEntry> entries(std::string_view section) const;
    bool hasSection(std::string_view section) const;

    // Sets key=value (rules of writeProfileString). The key is stored without the blanks around
    // it; an existing line keeps its key text and gets the new value. Returns false and changes
    // nothing when the line could not be read back as written: a section name with a line
    // break, an empty key, a key with '=' or a line break or beginning with '[', a value with a
    // line break.
    bool setValue(std::string_view section, std::string_view key, std::string_view value);
    // Removes every line of the section except its header, keeping blank lines that separate it
    // from the next section; adds the header when the section is missing. False (nothing
    // changed) for a section name with a line break.
    bool emptySection(std::string_view section);

    static bool isStorableSection(std::string_view section);
    static bool isStorableKey(std::string_view key);
    static bool isStorableValue(std::string_view value);

  private:
    enum class LineKind { Other, Header, Entry };
    struct Line {
        std::string text;    // without the line end
        std::string ending;  // "\r\n", "\n", or "" for a last line without one
        LineKind kind = LineKind::Other;
        // Header: the section name; Entry: the key. Trimmed, a view into `text`.
        size_t nameBegin = 0, nameLength = 0;
        // Entry: the trimmed value, a view into `text`.
        size_t valueBegin = 0, valueLength = 0;
        std::string_view name() const {
            return std::string_view(text).substr(nameBegin, nameLength);
        }
        std::string_view val() const {
            return std::string_view(text).substr(valueBegin, valueLength);
        }
    };
    struct SectionRange {
        size_t header;  // index of the header line
        size_t end;     // one past the last line of the section
    };

    static Line classify(std::string text, std::string ending);
    std::optional<SectionRange> findSection(std::string_view section) const;
    // Index after the last non-blank line of the section (where a new key goes).
    size_t insertionPoint(const SectionRange& range) const;
    void insertLine(size_t index, std::string text);

    std::vector<Line> lines_;
    std::string newline_ = "\n";
};

}  // namespace config

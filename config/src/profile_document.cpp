#include "config/profile_document.h"

#include <string>
#include <unordered_set>

#include "profile_text.h"

namespace config {

using detail::equalsIgnoringCase;
using detail::trimBlanks;

namespace {

// Offset and length of the trimmed part of text[begin, end).
std::pair<size_t, size_t> trimmedRange(std::string_view text, size_t begin, size_t end) {
    while (begin < end && detail::isBlank(text[begin]))
        ++begin;
    while (end > begin && detail::isBlank(text[end - 1]))
        --end;
    return {begin, end - begin};
}

std::string lowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = detail::foldCase(c);
    return result;
}

}  // namespace

ProfileDocument::Line ProfileDocument::classify(std::string text, std::string ending) {
    Line line;
    line.text = std::move(text);
    line.ending = std::move(ending);
    std::string_view t = line.text;
    size_t first = 0;
    while (first < t.size() && detail::isBlank(t[first]))
        ++first;
    // "[name]": the name runs to the last ']' on the line; text after it is ignored.
    if (first < t.size() && t[first] == '[') {
        size_t close = t.rfind(']');
        if (close != std::string_view::npos && close > first) {
            line.kind = LineKind::Header;
            std::tie(line.nameBegin, line.nameLength) = trimmedRange(t, first + 1, close);
            return line;
        }
    }
    size_t equals = t.find('=');
    if (equals != std::string_view::npos) {
        line.kind = LineKind::Entry;
        std::tie(line.nameBegin, line.nameLength) = trimmedRange(t, first, equals);
        std::tie(line.valueBegin, line.valueLength) = trimmedRange(t, equals + 1, t.size());
    }
    return line;
}

ProfileDocument ProfileDocument::parse(std::string_view text) {
    ProfileDocument doc;
    bool styleKnown = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        if (lf == std::string_view::npos) {
            doc.lines_.push_back(classify(std::string(text.substr(pos)), ""));
            break;
        }
        size_t end = lf;
        std::string ending = "\n";
        if (end > pos && text[end - 1] == '\r') {
            --end;
            ending = "\r\n";
        }
        if (!styleKnown) {
            doc.newline_ = ending;
            styleKnown = true;
        }
        doc.lines_.push_back(classify(std::string(text.substr(pos, end - pos)), std::move(ending)));
        pos = lf + 1;
    }
    return doc;
}

std::string ProfileDocument::serialize() const {
    size_t total = 0;
    for (const Line& line : lines_)
        total += line.text.size() + line.ending.size();
    std::string out;
    out.reserve(total);
    for (const Line& line : lines_) {
        out += line.text;
        out += line.ending;
    }
    return out;
}

std::optional<ProfileDocument::SectionRange> ProfileDocument::findSection(
    std::string_view section) const {
    section = trimBlanks(section);
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != LineKind::Header || !equalsIgnoringCase(lines_[i].name(), section)) {
            continue;
        }
        size_t end = i + 1;
        while (end < lines_.size() && lines_[end].kind != LineKind::Header)
            ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

bool ProfileDocument::hasSection(std::string_view section) const {
    return findSection(section).has_value();
}

std::optional<std::string_view> ProfileDocument::value(std::string_view section,
                                                       std::string_view key) const {
    auto range = findSection(section);
    if (!range)
        return std::nullopt;
    key = trimBlanks(key);
    for (size_t i = range->header + 1; i < range->end; ++i) {
        const Line& line = lines_[i];
        if (line.kind == LineKind::Entry && equalsIgnoringCase(line.name(), key))
            return line.val();
    }
    return std::nullopt;
}

std::vector<ProfileEntry> ProfileDocument::entries(std::string_view section) const {
    std::vector<ProfileEntry> result;
    auto range = findSection(section);
    if (!range)
        return result;
    std::unordered_set<std::string> seen;
    for (size_t i = range->header + 1; i < range->end; ++i) {
        const Line& line = lines_[i];
        if (line.kind != LineKind::Entry || !seen.insert(lowerCase(line.name())).second)
            continue;
        result.push_back(ProfileEntry{std::string(line.name()), std::string(line.val())});
    }
    return result;
}

bool ProfileDocument::isStorableSection(std::string_view section) {
    return !detail::hasLineBreak(section);
}

bool ProfileDocument::isStorableKey(std::string_view key) {
    key = trimBlanks(key);
    return !key.empty() && key.front() != '[' && key.find('=') == std::string_view::npos &&
           !detail::hasLineBreak(key);
}

bool ProfileDocument::isStorableValue(std::string_view value) {
    return !detail::hasLineBreak(value);
}

size_t ProfileDocument::insertionPoint(const SectionRange& range) const {
    size_t index = range.end;
    while (index > range.header + 1 && trimBlanks(lines_[index - 1].text).empty())
        --index;
    return index;
}

void ProfileDocument::insertLine(size_t index, std::string text) {
    // The line before the new one may be a last line without a line end.
    if (index > 0 && lines_[index - 1].ending.empty())
        lines_[index - 1].ending = newline_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                  classify(std::move(text), newline_));
}

bool ProfileDocument::setValue(std::string_view section, std::string_view key,
                               std::string_view value) {
    if (!isStorableSection(section) || !isStorableKey(key) || !isStorableValue(value)) {
        return false;
    }
    section = trimBlanks(section);
    key = trimBlanks(key);
    auto range = findSection(section);
    if (!range) {
        emptySection(section);  // adds the header at the end
        range = findSection(section);
    } else {
        for (size_t i = range->header + 1; i < range->end; ++i) {
            Line& line = lines_[i];
            if (line.kind != LineKind::Entry || !equalsIgnoringCase(line.name(), key))
                continue;
            // Everything up to and including the first '=' stays as it stands.
            std::string text = line.text.substr(0, line.text.find('=') + 1);
            text += value;
            line = classify(std::move(text), std::move(line.ending));
            return true;
        }
    }
    std::string text(key);
    text += '=';
    text += value;
    insertLine(insertionPoint(*range), std::move(text));
    return true;
}

bool ProfileDocument::emptySection(std::string_view section) {
    if (!isStorableSection(section))
        return false;
    section = trimBlanks(section);
    if (auto range = findSection(section)) {
        auto first = lines_.begin() + static_cast<std::ptrdiff_t>(range->header + 1);
        auto last = lines_.begin() + static_cast<std::ptrdiff_t>(insertionPoint(*range));
        lines_.erase(first, last);
        return true;
    }
    // A new section goes at the end, after a blank line that separates it from the one before.
    if (!lines_.empty() && !trimBlanks(lines_.back().text).empty()) {
        insertLine(lines_.size(), "");
    }
    std::string header = "[";
    header += section;
    header += ']';
    insertLine(lines_.size(), std::move(header));
    return true;
}

}  // namespace config

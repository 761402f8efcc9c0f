// The header lines of a message as (name, value) pairs, in the order they were added.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

class CMailHeaderList {
  public:
    // Appends the pair; false (and nothing added) when memory runs out.
    bool AddHeader(std::string_view name, std::string_view value);
    // Removes the first pair whose name equals `name` byte for byte (case matters); false when
    // there is none.
    bool RemoveHeader(std::string_view name);
    // True when a pair of that name (byte for byte) is held.
    bool HasHeader(std::string_view name) const;

    size_t Count() const { return pairs_.size(); }
    const std::string& Name(size_t i) const { return pairs_[i].name; }
    const std::string& Value(size_t i) const { return pairs_[i].value; }

  private:
    struct Pair {
        std::string name;
        std::string value;
    };
    std::vector<Pair> pairs_;
};

}  // namespace mail

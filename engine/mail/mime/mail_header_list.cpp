#include "mime/mail_header_list.h"

#include <new>

namespace mail {

bool CMailHeaderList::AddHeader(std::string_view name, std::string_view value) {
    try {
        pairs_.push_back(Pair{std::string(name), std::string(value)});
        return true;
    } catch (const std::bad_alloc&) {
        return false;  // the pair is dropped silently
    }
}

bool CMailHeaderList::RemoveHeader(std::string_view name) {
    for (auto it = pairs_.begin(); it != pairs_.end(); ++it) {
        if (it->name == name) {
            pairs_.erase(it);
            return true;
        }
    }
    return false;
}

bool CMailHeaderList::HasHeader(std::string_view name) const {
    for (const auto& pair : pairs_) {
        if (pair.name == name)
            return true;
    }
    return false;
}

}  // namespace mail

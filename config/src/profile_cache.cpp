#include "profile_cache.h"

namespace config::detail {

ProfileCache& ProfileCache::processWide() {
    static ProfileCache* cache = new ProfileCache;  // never destroyed: see the header
    return *cache;
}

std::shared_ptr<const ProfileDocument> ProfileCache::find(const std::string& path,
                                                          const platform::FileIdentity& identity) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(path);
    if (it == entries_.end() || !(it->second.identity == identity))
        return nullptr;
    return it->second.document;
}

void ProfileCache::store(const std::string& path, const platform::FileIdentity& identity,
                         std::shared_ptr<const ProfileDocument> document) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entries_.size() >= kMaxFiles && !entries_.count(path))
        entries_.clear();
    entries_[path] = Entry{identity, std::move(document)};
}

}  // namespace config::detail

// The process-wide cache of parsed profile files, keyed on the path and checked against the
// file's identity: owned here, shared by every thread of the process, guarded by one mutex.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "config/profile_document.h"
#include "platform/file_store.h"

namespace config::detail {

class ProfileCache {
  public:
    // Lives until the process ends (threads may read the configuration while it exits).
    static ProfileCache& processWide();

    // The document parsed from the file state `identity`, or null when not cached.
    std::shared_ptr<const ProfileDocument> find(const std::string& path,
                                                const platform::FileIdentity& identity);
    void store(const std::string& path, const platform::FileIdentity& identity,
               std::shared_ptr<const ProfileDocument> document);

  private:
    static constexpr size_t kMaxFiles = 16;  // the system uses one file; tests a few more
    struct Entry {
        platform::FileIdentity identity;
        std::shared_ptr<const ProfileDocument> document;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace config::detail

#include "config/profile_file.h"

#include "platform/file_lock.h"
#include "platform/file_store.h"
#include "profile_cache.h"

namespace config {

using detail::ProfileCache;

std::shared_ptr<const ProfileDocument> loadProfile(const std::string& path) {
    if (auto identity = platform::fileIdentity(path)) {
        if (auto cached = ProfileCache::processWide().find(path, *identity))
            return cached;
    }
    platform::FileSnapshot snapshot = platform::readFileSnapshot(path);
    if (snapshot.status != platform::FileReadStatus::Ok) {
        return std::make_shared<const ProfileDocument>();
    }
    auto document =
        std::make_shared<const ProfileDocument>(ProfileDocument::parse(snapshot.content));
    ProfileCache::processWide().store(path, snapshot.identity, document);
    return document;
}

std::string readProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              size_t maxChars) {
    auto document = loadProfile(path);
    std::string_view value = document->value(section, key).value_or(defaultValue);
    return std::string(value.substr(0, maxChars));
}

std::vector<ProfileEntry> readProfileSection(const std::string& path, std::string_view section) {
    return loadProfile(path)->entries(section);
}

bool updateProfile(const std::string& path, const std::function<bool(ProfileDocument&)>& edit) {
    auto lock = platform::FileLock::acquire(path + ".lock");
    if (!lock)
        return false;
    // Read afresh under the lock: the cache may not yet show another writer's last change.
    platform::FileSnapshot snapshot = platform::readFileSnapshot(path);
    if (snapshot.status == platform::FileReadStatus::Failed)
        return false;  // never overwrite what we could not read
    ProfileDocument document = ProfileDocument::parse(snapshot.content);
    if (!edit(document))
        return false;
    std::string contents = document.serialize();
    if (contents == snapshot.content)
        return true;
    auto identity = platform::replaceFileAtomically(path, contents);
    if (!identity)
        return false;
    ProfileCache::processWide().store(path, *identity,
                                      std::make_shared<const ProfileDocument>(std::move(document)));
    return true;
}

bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
    return updateProfile(
        path, [&](ProfileDocument& document) { return document.setValue(section, key, value); });
}

bool emptyProfileSection(const std::string& path, std::string_view section) {
    return updateProfile(path,
                         [&](ProfileDocument& document) { return document.emptySection(section); });
}

}  // namespace config

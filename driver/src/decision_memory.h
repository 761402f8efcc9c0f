// Decisions taken "until restart": per program and protected item, or per program and
// executable file. Lives as long as the daemon. Not thread-safe: FilterDriver guards it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace vestrald {

class DecisionMemory {
  public:
    // `itemName` empty means an executable-file decision about `filePath`.
    void remember(const std::string& programPath, const std::string& itemName,
                  const std::string& filePath, bool allow);
    std::optional<bool> recall(const std::string& programPath, const std::string& itemName,
                               const std::string& filePath) const;

  private:
    static std::pair<std::string, std::string> key(const std::string& programPath,
                                                   const std::string& itemName,
                                                   const std::string& filePath);
    std::map<std::pair<std::string, std::string>, bool> decisions_;
};

}  // namespace vestrald

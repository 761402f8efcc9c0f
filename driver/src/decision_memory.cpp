#include "decision_memory.h"

namespace vestrald {

std::pair<std::string, std::string> DecisionMemory::key(const std::string& programPath,
                                                        const std::string& itemName,
                                                        const std::string& filePath) {
    // 'I' and 'F' keep an item name and a file path of the same text apart.
    return {programPath, itemName.empty() ? "F" + filePath : "I" + itemName};
}

void DecisionMemory::remember(const std::string& programPath, const std::string& itemName,
                              const std::string& filePath, bool allow) {
    decisions_[key(programPath, itemName, filePath)] = allow;
}

std::optional<bool> DecisionMemory::recall(const std::string& programPath,
                                           const std::string& itemName,
                                           const std::string& filePath) const {
    auto it = decisions_.find(key(programPath, itemName, filePath));
    if (it == decisions_.end())
        return std::nullopt;
    return it->second;
}

}  // namespace vestrald

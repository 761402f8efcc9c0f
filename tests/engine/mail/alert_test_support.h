// Helpers of the alert mail tests: a temporary folder and profile files in it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace mail::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvantis-mail-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline void writeTextFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

inline std::string readTextFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Section "Advanced" with the five mail keys.
inline std::string mailProfile(const std::string& server, const std::string& user,
                               const std::string& pass, const std::string& addr,
                               const std::string& mailLog = "YES") {
    return "[Advanced]\r\nMailLog=" + mailLog + "\r\nMailAddr=" + addr +
           "\r\nMailServer=" + server + "\r\nMailUser=" + user + "\r\nMailPass=" + pass + "\r\n";
}

}  // namespace mail::test

// Reads a fixture of tests/fixtures/config as it lies on disk (line ends included).
#pragma once

#include <fstream>
#include <sstream>
#include <string>

inline std::string readConfigFixture(const std::string& name) {
    std::ifstream in(std::string(CONFIG_FIXTURE_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

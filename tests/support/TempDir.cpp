#include "support/TempDir.h"

#include <fstream>
#include <random>
#include <system_error>

namespace tq9::test {

TempDir::TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("tq9-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::WithSeparator() const {
    std::string text = path_.string();
    text += static_cast<char>(std::filesystem::path::preferred_separator);
    return text;
}

void TempDir::Touch(const std::string& name) const {
    std::ofstream(File(name)).put('\0');
}

}  // namespace tq9::test

#include "line/LineSettings.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>

namespace tq9 {

namespace {
std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A password in the connection string itself: as a keyword, or in a URI's user part.
bool HoldsPassword(const std::string& server) {
    static const std::regex keyword(R"((^|\s)password\s*=)", std::regex::icase);
    static const std::regex uri(R"(^postgres(ql)?://[^/@]*:[^/@]*@)", std::regex::icase);
    return std::regex_search(server, keyword) || std::regex_search(server, uri);
}
}  // namespace

std::string WithoutPassword(const std::string& server) {
    static const std::regex keyword(R"(((?:^|\s)password\s*=\s*)('(?:[^'\\]|\\.)*'|\S*))",
                                    std::regex::icase);
    static const std::regex uri(R"(^(postgres(?:ql)?://[^/@:]*:)[^/@]*@)", std::regex::icase);
    static const std::regex query(R"(([?&]password=)[^&]*)", std::regex::icase);
    std::string shown = std::regex_replace(server, uri, "$1(hidden)@");
    shown = std::regex_replace(shown, query, "$1(hidden)");
    return std::regex_replace(shown, keyword, "$1(hidden)");
}

LineSettings ReadLineSettings(const std::vector<std::string>& paths, const std::string& hostName) {
    LineSettings settings;
    settings.bench = hostName;
    std::vector<std::filesystem::path> read;
    for (const std::string& path : paths) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(std::filesystem::u8path(path), error)) continue;
        // One file named twice (XDG_CONFIG_HOME=/etc, a link) is read, and warned of, once.
        bool again = false;
        for (const auto& earlier : read)
            again =
                again || std::filesystem::equivalent(earlier, std::filesystem::u8path(path), error);
        if (again) continue;
        read.push_back(std::filesystem::u8path(path));
        std::ifstream file(std::filesystem::u8path(path));
        if (!file) {
            settings.problems.push_back(path + ": cannot be read");
            continue;
        }
        int number = 0;
        for (std::string line; std::getline(file, line);) {
            ++number;
            line = Trimmed(line);
            if (line.empty() || line[0] == '#') continue;
            const std::string where = path + ":" + std::to_string(number) + ": ";
            const auto equals = line.find('=');
            if (equals == std::string::npos) {
                settings.problems.push_back(where + "not a \"key = value\" line");
                continue;
            }
            const std::string key = Trimmed(line.substr(0, equals));
            const std::string value = Trimmed(line.substr(equals + 1));
            if (key == "server" || key == "reader") {
                std::string& target = key == "server" ? settings.server : settings.reader;
                if (HoldsPassword(value)) {
                    settings.problems.push_back(where + "the " + key +
                                                " string holds a password; put it in ~/.pgpass");
                    target.clear();
                } else {
                    target = value;
                }
            } else if (key == "bench") {
                if (value.empty()) {
                    settings.problems.push_back(where + "an empty bench name");
                } else {
                    settings.bench = value;
                }
            } else {
                settings.problems.push_back(where + "unknown setting " + key);
            }
        }
    }
    return settings;
}

}  // namespace tq9

#include "sim/IntelHex.h"

#include <algorithm>
#include <cstdio>

namespace tq9::sim {

std::string IntelHex(const std::vector<std::uint8_t>& data) {
    std::string hex;
    char text[8];
    for (std::size_t at = 0; at < data.size(); at += 16) {
        const std::size_t n = std::min<std::size_t>(16, data.size() - at);
        unsigned sum = unsigned(n) + ((at >> 8) & 0xFF) + (at & 0xFF);
        std::snprintf(text, sizeof text, ":%02X%04X", unsigned(n), unsigned(at));
        hex += text;
        hex += "00";
        for (std::size_t i = 0; i < n; ++i) {
            std::snprintf(text, sizeof text, "%02X", data[at + i]);
            hex += text;
            sum += data[at + i];
        }
        std::snprintf(text, sizeof text, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        hex += text;
    }
    return hex + ":00000001FF\n";
}

std::vector<std::uint8_t> FirmwareImage(const std::string& seed, const std::string& firmware,
                                        const std::string& version, std::size_t size) {
    std::vector<std::uint8_t> image(size);
    std::uint32_t state = 2166136261u;
    for (const char c : seed)
        state = (state ^ static_cast<std::uint8_t>(c)) * 16777619u;
    for (auto& byte : image) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    const std::string marker = "TQ9FW " + firmware + " " + version + std::string(1, '\0');
    std::copy(marker.begin(), marker.end(), image.begin() + 0x100);
    return image;
}

}  // namespace tq9::sim

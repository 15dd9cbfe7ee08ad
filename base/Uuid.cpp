#include "base/Uuid.h"

#include <cstdint>
#include <cstdio>
#include <random>

namespace tq9 {

std::string NewUuid() {
    // The system's entropy for every bit: a seeded generator would repeat its sequence in
    // processes started with the same seed.
    std::random_device entropy;
    std::uint8_t bytes[16];
    for (int i = 0; i < 16; i += 4) {
        const std::uint32_t word = entropy();
        for (int j = 0; j < 4; ++j)
            bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

bool IsUuid(const std::string& text) {
    static const std::string shape = "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx";
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        if (shape[i] == '-' || shape[i] == '4') {
            if (c != shape[i]) return false;
        } else if (shape[i] == 'y') {
            if (c != '8' && c != '9' && c != 'a' && c != 'b') return false;
        } else if (!hex) {
            return false;
        }
    }
    return true;
}

}  // namespace tq9

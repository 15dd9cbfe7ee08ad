#include "isp/ImageCheck.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace tq9 {

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The record's bytes after the colon; false when a character is not a hex digit or the
// count of digits is odd.
bool RecordBytes(const std::string& line, std::string& bytes) {
    if ((line.size() - 1) % 2 != 0) return false;
    bytes.clear();
    for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
        const int high = HexDigit(line[i]), low = HexDigit(line[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
    }
    return true;
}
}  // namespace

std::string IntelHexProblem(const std::string& path, std::size_t capacity, bool needsData,
                            std::size_t* dataBytes) {
    std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
    if (!file) return "cannot be read";
    std::uint64_t base = 0, end = 0;
    bool anyLine = false, anyData = false, endRecord = false;
    std::size_t number = 0, data = 0;
    std::string bytes;
    for (std::string line; std::getline(file, line);) {
        ++number;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (line.empty()) continue;
        const std::string where = " in line " + std::to_string(number);
        if (endRecord) return "has more after its end-of-file record" + where;
        anyLine = true;
        if (line[0] != ':' || line.size() < 11 || !RecordBytes(line, bytes)) {
            return "is not Intel HEX" + where;
        }
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
        const std::size_t count = byte(0);
        if (bytes.size() != count + 5) return "has a record of the wrong length" + where;
        unsigned sum = 0;
        for (const char b : bytes)
            sum += static_cast<unsigned char>(b);
        if (sum % 256 != 0) return "has a wrong checksum" + where;
        const unsigned address = byte(1) * 256u + byte(2);
        const unsigned type = byte(3);
        const auto value = [&] { return count == 2 ? byte(4) * 256u + byte(5) : 0u; };
        if (type == 0) {
            if (count == 0) continue;
            anyData = true;
            data += count;
            const std::uint64_t last = base + address + count;
            if (last > end) end = last;
        } else if (type == 1) {
            if (count != 0) return "has a record of the wrong length" + where;
            endRecord = true;
        } else if (type == 2 || type == 4) {
            if (count != 2) return "has a record of the wrong length" + where;
            base = type == 2 ? std::uint64_t{value()} << 4 : std::uint64_t{value()} << 16;
        } else if (type != 3 && type != 5) {
            return "is not Intel HEX" + where;
        }
    }
    if (file.bad()) return "cannot be read";
    if (!anyLine) return "is empty";
    if (!endRecord) return "has no end-of-file record (cut short?)";
    if (needsData && !anyData) return "holds no data";
    if (end > capacity) {
        return "reaches " + std::to_string(end) + " bytes, more than the " +
               std::to_string(capacity) + " of the memory";
    }
    if (dataBytes) *dataBytes = data;
    return {};
}

}  // namespace tq9

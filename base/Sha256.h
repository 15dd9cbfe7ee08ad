#pragma once
// SHA-256 of bytes or of a file, as lowercase hex: what the board records keep of the
// files a bench sent, so a run can be matched to the exact image later.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tq9 {

class Sha256 {
  public:
    Sha256();
    void Add(const void* data, std::size_t size);
    // The digest as 64 hex digits; the object is spent afterwards.
    std::string HexDigest();

  private:
    void Block(const std::uint8_t* block);

    std::uint32_t state_[8];
    std::uint8_t buffer_[64];
    std::size_t buffered_ = 0;
    std::uint64_t totalBytes_ = 0;
};

std::string Sha256Hex(const std::string& bytes);
// The file's digest, or nothing when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);

}  // namespace tq9

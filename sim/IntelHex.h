#pragma once
// Intel HEX files, as avrdude reads firmware images.

#include <cstdint>
#include <string>
#include <vector>

namespace tq9::sim {

// Data records of 16 bytes from address 0 (a 64 KiB flash needs no extended address
// records), then the end record.
std::string IntelHex(const std::vector<std::uint8_t>& data);

// A firmware image: code-like bytes of `size`, seeded by `seed`, with a marker at 0x100 that
// says which firmware it is, "TQ9FW <firmware> <version>", which the emulated board answers
// with once it runs the image.
std::vector<std::uint8_t> FirmwareImage(const std::string& seed, const std::string& firmware,
                                        const std::string& version, std::size_t size);

}  // namespace tq9::sim

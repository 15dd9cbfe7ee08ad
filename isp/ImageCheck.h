#pragma once
// The firmware images are checked before avrdude touches the chip: a file that avrdude
// would refuse halfway through the flash run would leave the fuses written and the chip
// erased.

#include <cstddef>
#include <string>

namespace tq9 {

inline constexpr std::size_t kFlashBytes = 65536;  // ATmega644P
inline constexpr std::size_t kEepromBytes = 2048;

// Why the Intel HEX file at `path` cannot be written into a memory of `capacity` bytes;
// empty when it can. `needsData`: a file without a data byte is refused too. A file is
// whole only with its end-of-file record and nothing but blanks after it: avrdude writes
// what a file cut short holds and only warns. `dataBytes`, where given, gets the count of
// data bytes (what the flash run has to write and verify).
std::string IntelHexProblem(const std::string& path, std::size_t capacity, bool needsData,
                            std::size_t* dataBytes = nullptr);

}  // namespace tq9

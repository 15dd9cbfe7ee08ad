#pragma once
// Sending a scan-core file (headerless 32-bit words, least significant byte first) into
// the board's FPGA behind the parameter write that announces its word count.

#include <string>

#include "board/BoardInfo.h"

namespace tq9 {

// The most words the buffer takes; larger files are refused before anything is sent.
inline constexpr std::size_t kFileBufferWords = 16384;
inline constexpr std::int32_t kParamScanCoreBase = 8900;

// Reads the file's whole words into TFileBuffer4 (sized to 16384 words) from index 0 and
// returns how many the file holds; 1 to 3 trailing bytes are ignored. A file of more words
// than fit is not read: the count tells the caller to refuse it. A file that cannot be
// opened or read raises an error naming the file and the reason.
std::size_t LoadWordFile(LinkContext& ctx, const std::string& fileName);

// The file-open dialog as the upload sets it up.
FileDialogSettings UploadDialogSettings(const std::string& initialDirectory);

void ButtonUpStreamClick(BoardContext& ctx);

}  // namespace tq9

#pragma once
// Whether the board answers, and what is on it: readiness polls, the identification read
// and its console summary, and the "Reset TQ9" button.

#include <cstdint>
#include <string>

#include "link/LinkContext.h"

namespace tq9 {

struct TBoardInfo {
    double FirmwareVersion = 0;
    std::string FirmwareName;              // at most 15 characters (not bytes)
    std::string FpgaVersion = "00000000";  // at most 10 characters (not bytes)
    std::int32_t SerialNumber = 0;         // follows "Serial #", the operator's typing included
    std::int32_t ReportedSerial = 0;       // what the board itself last reported
    std::int32_t ScanCore = 0;
    bool ScanCoreRead = false;  // ScanCore was read from this board, not left at its default
};
// The scan-core list's entry at start-up.
inline constexpr int kScanCoreEntryAtStart = 1;

inline constexpr std::size_t kFirmwareNameMax = 15;
inline constexpr std::size_t kFpgaVersionMax = 10;
// Firmware older than this lacks functions the tool uses.
inline constexpr double kFirmwareVersionMin = 3.56;

struct BoardContext : LinkContext {
    explicit BoardContext(Host& host) : LinkContext(host) {}
    TBoardInfo BoardInfo;
    // The scan-core file the last upload chose, and the core it went to (for the records).
    std::string UploadFile;
    std::int32_t UploadCore = -1;
};

// The patient wait: up to 26 polls of parameter 253 after a second's pause; ends on an
// answer, a cancel (with its warning) or the try limit (with the timeout warning).
void WaitForBoardReady(LinkContext& ctx);
// The quick check: up to 11 polls; true when the board answered one of the first three.
bool CheckBoardReady(LinkContext& ctx);
bool BoardIsBlank(const BoardContext& ctx);
void ReadBoardInfo(BoardContext& ctx, bool resetFirst);
void PrintBoardSummary(BoardContext& ctx);
// No board known: BoardInfo and the board's displays as at start-up, so nothing of a board
// read earlier is shown or recorded beside another cable.
void ForgetBoard(BoardContext& ctx);
void BtnRefreshClick(BoardContext& ctx);
// The serial display changed: SerialNumber follows its text (0 when not an integer).
void EditSerialNumberChange(BoardContext& ctx);

// Cuts of the identification replies: the text after the first `open` character and one
// more, up to the first "]" (or the reply's last character).
std::string CutAfter(const std::string& reply, char open);
// EditFirmwareVersion's format: general, 15 significant digits, "." separator.
std::string FormatFirmwareVersion(double version);

}  // namespace tq9

#pragma once
// The OEM production run and the AVR-only run: production file check, operator prompts,
// ISP programming, reconnect and identification, error counting and the result dialog.

#include <string>
#include <vector>

#include "isp/ProgramByIsp.h"

namespace tq9 {

// The kind's name as the result dialog shows it; empty for the unused value 7.
const char* ErrorKindName(TErrorKind kind);

// Writes a line per production file; true when anything is missing.
bool CheckProductionFiles(IspContext& ctx);
// The production files (or their patterns) missing from `directory`, for a check that
// comes before any cable is opened.
std::vector<std::string> MissingProductionFiles(const std::string& directory);
void ShowRunResult(IspContext& ctx, const std::string& text);
void CloseBoardLink(IspContext& ctx);
void ReportNoResponse(IspContext& ctx);
void ReopenBoardLink(IspContext& ctx);
bool ReconnectAndIdentify(IspContext& ctx, bool waitFirst);

// A run whose link closed and that has no cable or port to reopen goes through the device
// flow again, as the Device button does.
void ProdProgClick(IspContext& ctx);
void BtnAVRonlyClick(IspContext& ctx);

inline constexpr const char* kConnectIspPrompt =
    "Connect ISP programming cable to PL1\rand FTDI cable to PL26.\rInsert jumper JP9 on gen4 "
    "boards (SWELL).\rInsert jumper JP5 (CONF_DIS) and click OK when done!";
inline constexpr const char* kJumperPrompt =
    "Insert jumpers JP7/JP8 after red LED on TQ9 went off.Click OK when done.\r";
inline constexpr const char* kRunSucceeded =
    "Operation succesfull.\rRemove jumpers JP5, JP7 and JP8.\rDisconnect ISP programming cable "
    "from PL1.";
inline constexpr const char* kNoResponseDialog =
    "No response from FTDI cable or TQ9 USB extension!\rPower off TQ9 and unplug USB cable from "
    "PC. Wait 5 seconds.\rReconnect USB, power up TQ9 and click OK.";

}  // namespace tq9

#pragma once
// The board's line protocol: command lines end in one CR; a reply is the bytes up to and
// including the first CR within a time limit, or "-9999"; numbers are cut out of a reply
// between its first "=" and its first blank (or its last character).

#include <cstdint>
#include <string>

#include "link/LinkContext.h"

namespace tq9 {

inline constexpr const char* kNoReply = "-9999";
inline constexpr std::uint32_t kQueryLimitMs = 500;
inline constexpr std::uint32_t kWriteWaitLimitMs = 200;
// How long the echo waits for a board that has gone quiet. Generous on purpose: an FPGA
// update may keep the board silent a long time, and a false time-out could make an
// operator power-cycle the board in the middle of it.
inline constexpr std::uint32_t kEchoSilenceLimitMs = 120'000;
// How often the echo handles window messages while the board is quiet.
inline constexpr std::uint32_t kEchoPumpMs = 50;
// A Cancel ends the echo only after the board has sent nothing for this long; before that
// it is only recorded.
inline constexpr std::uint32_t kEchoCancelSilenceMs = 5'000;
// Failed driver polls end the echo only when none has succeeded for this long.
inline constexpr std::uint32_t kEchoFailureLimitMs = 1'000;

// Raw byte, one write call, no framing; runs whatever the connected flag says.
void SendByte(LinkContext& ctx, std::uint8_t byte);
// text + CR in one write; nothing when the link is not connected.
void SendLine(LinkContext& ctx, const std::string& text);
// Collects one reply line (up to its CR) within limitMs; "-9999" when none came in time.
// Polls without a pause at first, then sleeps briefly between empty polls.
void ReceiveLine(LinkContext& ctx, std::uint32_t limitMs, std::string& reply);
// Purge, "<param>?" CR, reply within 500 ms. Runs whatever the connected flag says.
void QueryParam(LinkContext& ctx, std::int32_t param, std::string& reply);
// The text between the first "=" and the first blank, or the line's last character.
std::string ReplyValueText(const std::string& reply);
std::int32_t ReplyInt(const std::string& reply);
double ReplyFloat(const std::string& reply);
// "<param>=<value>" CR after a purge; no reply is read.
void WriteParam(LinkContext& ctx, std::int32_t param, std::int32_t value);
// "<param>=<value>!" CR after a purge; reply within 200 ms.
void WriteParamWait(LinkContext& ctx, std::int32_t param, std::int32_t value, std::string& reply);
// Copies the board's lines to the console up to and including one starting with "#".
// Ends early, with the timeout warning, when the board stays silent for 120 s or the
// cable's calls fail for a second; and without a line of its own when the operator has
// cancelled and the board has then been silent for 5 s.
void EchoUntilHash(LinkContext& ctx);
// Logs the command, sends it and echoes the board's answer.
void SendAndEcho(LinkContext& ctx, const std::string& command);

}  // namespace tq9

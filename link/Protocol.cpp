#include "link/Protocol.h"

#include <optional>

#include "base/Convert.h"
#include "base/Platform.h"
#include "base/Utf8.h"
#include "link/Ansi.h"

namespace tq9 {

namespace {
constexpr std::uint8_t kCR = 13;
// After this much silence the echo sleeps between polls instead of spinning.
constexpr std::uint32_t kEchoIdleAfterMs = 20;
// A reply wait polls this many times without a pause, then sleeps between empty polls:
// briefly while an answer is due (a board answers a query within a few milliseconds), then
// a millisecond at a time. A reply is read within a fraction of a millisecond of its CR,
// and a silent board's wait leaves the core alone.
constexpr int kReplySpinPolls = 50;
constexpr std::uint32_t kReplyDueMs = 10;
constexpr std::uint32_t kReplyPollPauseUs = 75;
constexpr std::uint32_t kReplyLatePollPauseUs = 1'000;

void WriteBytes(LinkContext& ctx, const std::string& bytes) {
    tftdichip* device = ctx.BoardLink.device.get();
    if (!device) return;
    std::int32_t written = 0;
    device->write(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                  static_cast<std::int32_t>(bytes.size()), written);
}

void PurgeReceived(LinkContext& ctx) {
    if (tftdichip* device = ctx.BoardLink.device.get()) device->purgeQueue(fReceiveQueue);
}

// One byte if one is waiting. False only when the cable failed.
enum class Poll { Byte, Nothing, Failed };
Poll PollByte(tftdichip* device, std::uint8_t& byte) {
    if (!device) return Poll::Failed;
    std::int32_t waiting = 0;
    if (!device->getReceiveQueueStatus(waiting)) return Poll::Failed;
    if (waiting <= 0) return Poll::Nothing;
    std::int32_t got = 0;
    if (!device->read(&byte, 1, got)) return Poll::Failed;
    return got == 1 ? Poll::Byte : Poll::Nothing;
}
}  // namespace

void SendByte(LinkContext& ctx, std::uint8_t byte) {
    WriteBytes(ctx, std::string(1, static_cast<char>(byte)));
}

void SendLine(LinkContext& ctx, const std::string& text) {
    if (!ctx.BoardLink.connected) return;
    WriteBytes(ctx, Utf8ToAnsi(text) + '\r');
}

void ReceiveLine(LinkContext& ctx, std::uint32_t limitMs, std::string& reply) {
    Host& host = ctx.host;
    tftdichip* device = ctx.BoardLink.device.get();
    std::string collected;
    // Raised only once the wait starts to sleep, so a reply already waiting costs nothing.
    std::optional<FineTimerResolution> fineTimer;
    int emptyPolls = 0;
    // Elapsed time against the limit, so a wrap of the counter cannot end or stretch it.
    const std::uint32_t start = host.TickCount();
    for (;;) {
        // The program is closing: no board is waited for any more.
        if (ctx.StopRequests() != 0) {
            reply = kNoReply;
            return;
        }
        std::uint8_t byte = 0;
        if (PollByte(device, byte) == Poll::Byte) {
            collected += static_cast<char>(byte);
            emptyPolls = 0;
            if (byte == kCR) break;
        } else if (++emptyPolls > kReplySpinPolls) {
            // Nothing yet: poll on, but let the core go between polls.
            if (!fineTimer) fineTimer.emplace();
            const bool due = host.TickCount() - start < kReplyDueMs;
            host.SleepUs(due ? kReplyPollPauseUs : kReplyLatePollPauseUs);
        }
        if (host.TickCount() - start > limitMs) break;
    }
    // A CR that came at the very end of the limit can still count as too late.
    if (host.TickCount() - start > limitMs) {
        reply = kNoReply;
    } else {
        reply = AnsiToUtf8(collected);
    }
}

void QueryParam(LinkContext& ctx, std::int32_t param, std::string& reply) {
    PurgeReceived(ctx);
    WriteBytes(ctx, std::to_string(param) + "?\r");
    ReceiveLine(ctx, kQueryLimitMs, reply);
}

std::string ReplyValueText(const std::string& reply) {
    const std::size_t equals = reply.find('=');
    const std::size_t from = equals == std::string::npos ? 0 : equals + 1;
    const std::size_t blank = reply.find(' ');
    std::size_t to;  // one past the value's last character
    if (blank != std::string::npos) {
        to = blank;
    } else {
        // Drop the closing CR, or whatever character is last.
        to = reply.empty() ? 0 : Utf8Offset(reply, Utf8Length(reply) - 1);
    }
    return to > from ? reply.substr(from, to - from) : std::string();
}

std::int32_t ReplyInt(const std::string& reply) {
    return StrToInt(ReplyValueText(reply));
}

double ReplyFloat(const std::string& reply) {
    return StrToFloat(ReplyValueText(reply));
}

void WriteParam(LinkContext& ctx, std::int32_t param, std::int32_t value) {
    if (!ctx.BoardLink.connected) return;
    const std::string line = std::to_string(param) + "=" + std::to_string(value) + "\r";
    PurgeReceived(ctx);
    WriteBytes(ctx, line);
}

void WriteParamWait(LinkContext& ctx, std::int32_t param, std::int32_t value, std::string& reply) {
    if (!ctx.BoardLink.connected) return;
    const std::string line = std::to_string(param) + "=" + std::to_string(value) + "!\r";
    PurgeReceived(ctx);
    WriteBytes(ctx, line);
    ReceiveLine(ctx, kWriteWaitLimitMs, reply);
}

void EchoUntilHash(LinkContext& ctx) {
    if (!ctx.BoardLink.connected) return;
    Host& host = ctx.host;
    tftdichip* device = ctx.BoardLink.device.get();
    const unsigned cancelsAtStart = ctx.CancelRequests();
    std::string line;
    std::uint32_t lastByte = host.TickCount();
    std::uint32_t lastGoodPoll = lastByte;
    std::uint32_t lastPump = lastByte;
    for (;;) {
        std::uint8_t byte = 0;
        const Poll poll = PollByte(device, byte);
        const std::uint32_t polledAt = host.TickCount();
        if (poll == Poll::Failed) {
            // One failed call is no byte this time; a cable that keeps failing is gone.
            if (polledAt - lastGoodPoll >= kEchoFailureLimitMs) {
                ctx.LogTimeoutWarning();
                return;
            }
        } else {
            lastGoodPoll = polledAt;
        }
        if (poll == Poll::Byte) {
            if (byte >= 32) line += static_cast<char>(byte);
            if (byte == kCR) {
                ctx.BusyPulse();
                ctx.ConsoleAdd(AnsiToUtf8(line));  // as every other byte from the board
                if (!line.empty() && line.front() == '#') return;
                line.clear();
            }
            lastByte = lastPump = host.TickCount();
            continue;
        }
        // The board is quiet: keep the window alive, and give up after a long silence.
        const std::uint32_t now = host.TickCount();
        const std::uint32_t quiet = now - lastByte;
        if (quiet >= kEchoSilenceLimitMs) {
            ctx.LogTimeoutWarning();
            return;
        }
        if (now - lastPump >= kEchoPumpMs) {
            // A Cancel clicked here is recorded, with its warning line, for the operation's
            // next cancel test. It ends the echo only once the board has been silent a
            // while: a report whose lines come seconds apart is still read to its end.
            host.ProcessMessages();
            lastPump = host.TickCount();
            if (ctx.CancelRequests() != cancelsAtStart &&
                lastPump - lastByte >= kEchoCancelSilenceMs) {
                return;  // Cancel wrote its own line
            }
        }
        if (quiet >= kEchoIdleAfterMs) host.Sleep(1);
    }
}

void SendAndEcho(LinkContext& ctx, const std::string& command) {
    if (!ctx.BoardLink.connected) return;
    ctx.BusyPulse();
    ctx.ConsoleAdd(command);
    SendLine(ctx, command);
    EchoUntilHash(ctx);
}

}  // namespace tq9

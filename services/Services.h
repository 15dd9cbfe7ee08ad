#pragma once
// Console, busy lamp, cancel request and the message-pumping wait: the ways every
// operation reports to the operator. They reach the platform only through the Host.

#include <cstdint>
#include <string>

#include "services/Console.h"
#include "services/Host.h"

namespace tq9 {

inline constexpr Rgb kBusyLedLit{255, 16, 0};
inline constexpr Rgb kBusyLedDark{32, 0, 0};
// Timer ticks (10 ms each) a pulse keeps the lamp lit.
inline constexpr int kBusyPulseTicks = 50;

inline constexpr const char* kCancelWarning = "##### Warning: Process cancelled by user";
inline constexpr const char* kTimeoutWarning = "##### Warning: No response or process timed out";
inline constexpr const char* kDingFile = "ding.wav";

class Services {
  public:
    explicit Services(Host& host) : host(host), console(&host) {}
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;

    void ConsoleAdd(const std::string& text) { console.Add(text); }
    // Returns no earlier than ms milliseconds after the call, handling window messages
    // meanwhile; never looks at CancelRequested. Once the program is closing (a stop was
    // requested) it returns at once.
    void DelayMs(std::uint32_t ms);
    void SetBusyLed(bool lit);
    void BusyPulse();
    // The 10 ms timer's handler: counts the pulse down, then darkens the lamp.
    void BusyTick();
    void LogCancelWarning() { ConsoleAdd(kCancelWarning); }
    void LogTimeoutWarning() { ConsoleAdd(kTimeoutWarning); }
    void BtnCancelClick();
    // Sets CancelRequested and counts the request, so a wait can tell a fresh request
    // from a flag that was already set when it began.
    void RequestCancel() {
        CancelRequested = 1;
        ++cancelRequests_;
    }
    unsigned CancelRequests() const { return cancelRequests_; }
    // The program is closing (the window closed, a second Ctrl-C): the running operation is
    // cancelled like the operator's Cancel, without its console line.
    void RequestStop() {
        ++stopRequests_;
        RequestCancel();
    }
    unsigned StopRequests() const { return stopRequests_; }
    // The operator's own Cancel clicks, apart from the requests operations make themselves.
    unsigned OperatorCancels() const { return operatorCancels_; }
    void PlayDing() { host.PlaySoundFile(kDingFile); }
    // Shows a dialog through the host, and keeps the last one's form and text (for the
    // board records: a run's result dialog).
    void ShowMessage(MessageKind kind, const std::string& text) {
        ++messagesShown_;
        lastMessageKind_ = kind;
        lastMessage_ = text;
        host.ShowMessage(kind, text);
    }
    std::uint64_t MessagesShown() const { return messagesShown_; }
    MessageKind LastMessageKind() const { return lastMessageKind_; }
    const std::string& LastMessage() const { return lastMessage_; }

    bool BusyLedLit() const { return busyLedLit_; }

    Host& host;
    Console console;
    // The running program's directory, with a trailing separator; set at start-up.
    std::string ProgramDirectory;
    // 0 or 1: the operator asked to stop the running operation.
    int CancelRequested = 0;
    int BusyTicks = 0;

  private:
    bool busyLedLit_ = false;
    unsigned cancelRequests_ = 0;
    unsigned operatorCancels_ = 0;
    unsigned stopRequests_ = 0;
    std::uint64_t messagesShown_ = 0;
    MessageKind lastMessageKind_ = MessageKind::Information;
    std::string lastMessage_;
};

}  // namespace tq9

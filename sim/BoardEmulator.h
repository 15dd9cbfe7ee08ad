#pragma once
// A model of the TQ9 board controller's side of the line protocol, at the far end of a
// virtual cable. It answers what the tool sends, at 57600-baud byte timing on the shared
// clock, and records every byte and command it received. Fault knobs make it silent,
// late, garbled or unplugged; jitter is seeded so a failing case replays exactly.

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/SimDriver.h"

namespace tq9::sim {

struct BoardIdentity {
    std::string firmwareVersion = "3.65";
    std::string firmwareName = "TQ95-Organ";
    std::string fpgaVersion = "0813A7C2";
    std::int32_t serialNumber = 12345;
    std::int32_t scanCore = 3;
};

struct BoardFaults {
    // Answers nothing at all.
    bool silent = false;
    // The readiness query (253) is answered only from its n-th arrival on (1 = at once).
    int readyFromPoll = 1;
    // Replies used instead of the normal ones, by parameter number (CR is added).
    std::map<std::int32_t, std::string> replyOverride;
    // A line the board sends on its own just ahead of its next reply.
    std::string unsolicitedLine;
    // Reports of the fixed commands lack their closing "#" line.
    bool reportWithoutHash = false;
    // Reports stop in the middle of their last line (no CR, no "#" line).
    bool reportCutMidLine = false;
    // The cable is pulled out at this moment: every call on it fails from then on.
    std::optional<std::uint64_t> unplugAtUs;
    // Extra random delay before each reply, up to this many microseconds.
    std::uint64_t jitterUs = 0;
    std::uint32_t seed = 1;
};

struct BoardTiming {
    // From the end of a command line to the first byte of the reply.
    std::uint64_t responseUs = 300;
    // "RLD": the board reboots; it answers no query until its report has ended.
    std::uint64_t bootUs = 1'500'000;
    // The other fixed commands: time over which their report lines are spread.
    std::uint64_t reportUs = 600'000;
};

class BoardEmulator : public Peer {
  public:
    explicit BoardEmulator(BoardIdentity identity = {}, BoardFaults faults = {},
                           BoardTiming timing = {});

    void Received(VirtualCable& cable, const std::uint8_t* data, std::size_t size,
                  std::uint64_t nowUs) override;
    void Advance(VirtualCable& cable, std::uint64_t nowUs) override;

    BoardIdentity identity;
    // When set: the controller runs what the emulated ISP programmer last wrote into its
    // flash (this file, as tq9_isp_emulator keeps it). Its firmware name and version come
    // from the image's marker; an image without one (erased, say) runs nothing, and the
    // board answers nothing.
    std::string flashImage;
    BoardFaults faults;
    BoardTiming timing;

    // Every complete command line received (CR and LF removed), in order.
    std::vector<std::string> commands;
    // Parameter writes received, by parameter: the last value written.
    std::map<std::int32_t, std::int32_t> params;
    // Scan-core uploads: the words received for each, least significant byte first.
    struct Upload {
        std::int32_t target = 0;
        std::int32_t announced = 0;
        std::vector<std::uint32_t> words;
        // When the first byte of each word was written, on the shared clock.
        std::vector<std::uint64_t> wordStartUs;
    };
    std::vector<Upload> uploads;
    // Arrival time at the tool of the CR that ends the latest reply (for benchmarks).
    std::uint64_t lastReplyEndUs = 0;
    int readinessPolls = 0;

    // The checksum the closing line of an upload reports: the 32-bit sum of its words.
    static std::uint32_t Checksum(const std::vector<std::uint32_t>& words);

  private:
    void Command(VirtualCable& cable, const std::string& line, std::uint64_t atUs);
    // Takes the firmware from flashImage; false when there is none to run.
    bool RunFirmwareFromFlash();
    void Reply(VirtualCable& cable, const std::string& text, std::uint64_t atUs);
    void Report(VirtualCable& cable, const std::vector<std::string>& lines, std::uint64_t atUs,
                std::uint64_t spanUs);
    std::optional<std::string> Answer(std::int32_t param);

    std::string partial_;
    std::uint64_t busyUntilUs_ = 0;  // no query is answered before this (boot)
    std::size_t rawBytesLeft_ = 0;   // scan-core words still to come, in bytes
    std::vector<std::uint8_t> raw_;
    std::mt19937 random_;
};

}  // namespace tq9::sim

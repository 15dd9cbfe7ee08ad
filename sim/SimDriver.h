#pragma once
// A simulated D2XX driver: the twelve calls over a list of virtual cables, each with an
// optional peer at its far end, and per-call fault injection. Received bytes reach the
// tool by the shared clock. The same object backs the function table that tests link in
// and the libftd2xx.so the demo bench loads.
//
// Differences from the real driver, on purpose: FT_Read never blocks; it returns the bytes
// that have arrived (at most the count asked for).

#include <cstdint>
#include <deque>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/Clock.h"
#include "usb/FTDIdll.h"
#include "usb/ForwardingTable.h"

namespace tq9::sim {

using d2xx::DWORD;
using d2xx::FT_HANDLE;
using d2xx::FT_STATUS;
using d2xx::UCHAR;
using d2xx::ULONG;
using d2xx::USHORT;

// The driver's calls, in the table's order.
enum class Call {
#define TQ9_SIM_CALL(name, member, params, args) member,
    TQ9_D2XX_FUNCTIONS(TQ9_SIM_CALL)
#undef TQ9_SIM_CALL
};
inline constexpr int kCallCount = static_cast<int>(std::size(kD2xxFunctionNames));
const char* CallName(Call call);

// Microseconds from a start to the arrival of byte i (0-based) at a baud rate, 10 bits a
// byte (8N1): about 174 us a byte at 57600 baud.
inline std::uint64_t ByteArrivalUs(std::uint64_t startUs, std::size_t i, std::uint32_t baud) {
    return startUs + (static_cast<std::uint64_t>(i) + 1) * 10'000'000ull / baud;
}

class VirtualCable;

// The far end of a cable: the board's controller, an echo, or nothing.
class Peer {
  public:
    virtual ~Peer() = default;
    // The tool wrote these bytes at nowUs.
    virtual void Received(VirtualCable& cable, const std::uint8_t* data, std::size_t size,
                          std::uint64_t nowUs) = 0;
    // Called before every driver call on the cable, so time-driven behaviour catches up.
    virtual void Advance(VirtualCable& /*cable*/, std::uint64_t /*nowUs*/) {}
    // FT_ResetDevice on the cable.
    virtual void Reset(VirtualCable& /*cable*/, std::uint64_t /*nowUs*/) {}
};

struct LineSettings {
    ULONG baudRate = 9600;
    UCHAR wordLength = 8;
    UCHAR stopBits = 0;
    UCHAR parity = 0;
    USHORT flowControl = 0;
    UCHAR xon = 0x11;
    UCHAR xoff = 0x13;
};

class VirtualCable {
  public:
    VirtualCable(std::string serial, std::string description, std::shared_ptr<Peer> peer)
        : serial(std::move(serial)), description(std::move(description)), peer(std::move(peer)) {}

    // Queues bytes for the tool; byte i arrives at ByteArrivalUs(startUs, i, baud).
    // Bytes never overtake those already queued. Returns the last byte's arrival time.
    std::uint64_t SendToHost(const std::string& bytes, std::uint64_t startUs,
                             std::uint32_t baud = 57600);
    // Bytes that have arrived by nowUs and not been read or purged.
    std::size_t Arrived(std::uint64_t nowUs) const;
    std::size_t Queued() const { return rx_.size(); }
    // Takes the bytes that have arrived by nowUs, for a front that passes them on.
    std::string TakeArrived(std::uint64_t nowUs);
    // When the next queued byte arrives; 0 when none is queued.
    std::uint64_t NextArrivalUs() const { return rx_.empty() ? 0 : rx_.front().arrivalUs; }
    bool IsOpen() const { return open_; }

    std::string serial;
    std::string description;
    std::shared_ptr<Peer> peer;
    bool plugged = true;
    LineSettings line;
    int resets = 0;
    std::vector<ULONG> purges;          // masks, in call order
    std::vector<std::uint8_t> written;  // every byte the tool wrote, in order
    // Runs when the cable is opened (true) or closed (false), e.g. to hold a port file.
    std::function<void(bool open)> openHook;

  private:
    friend class SimDriver;
    struct RxByte {
        std::uint64_t arrivalUs;
        std::uint8_t value;
    };
    std::deque<RxByte> rx_;
    bool open_ = false;
};

class SimDriver {
  public:
    explicit SimDriver(Clock& clock);
    ~SimDriver();
    SimDriver(const SimDriver&) = delete;
    SimDriver& operator=(const SimDriver&) = delete;

    VirtualCable& AddCable(const std::string& serial, const std::string& description,
                           std::shared_ptr<Peer> peer = nullptr);
    VirtualCable* Find(const std::string& serial);
    VirtualCable& CableAt(std::size_t i) { return *cables_.at(i); }
    std::size_t CableCount() const { return cables_.size(); }

    // After `after` more successful calls of `call`, the next `times` ones (every one from
    // then on when times < 0) fail with `status` and do nothing else.
    void FailCall(Call call, int times = 1, FT_STATUS status = d2xx::FT_IO_ERROR, int after = 0);
    // From the given moment every call fails, as when the whole bus goes away.
    void FailEverythingFrom(std::uint64_t us) { failAllFromUs_ = us; }

    int CallCount(Call call) const { return counts_[static_cast<int>(call)]; }
    int OpenHandleCount() const { return static_cast<int>(handles_.size()); }
    // What one call costs on the clock.
    std::uint64_t callCostUs = 1;

    // The table of this driver. Its functions reach the one live SimDriver; only one may
    // exist at a time in a process.
    static const FTDIdll& Table();

    TQ9_D2XX_MEMBER_FUNCTIONS

    static SimDriver* Active() { return active_; }

  private:
    struct Fault {
        int skip = 0;       // calls still to pass before failing
        int remaining = 0;  // < 0: for ever
        FT_STATUS status = d2xx::FT_OK;
    };
    // Counts the call, spends its time and tells whether an injected fault answers it.
    bool Enter(Call call, FT_STATUS& status);
    // Resolves a handle to its cable and lets the peer catch up; FT_OK or why not.
    FT_STATUS CableOf(FT_HANDLE handle, VirtualCable*& cable);

    Clock& clock_;
    std::vector<std::unique_ptr<VirtualCable>> cables_;
    std::vector<VirtualCable*> snapshot_;
    std::map<std::uintptr_t, VirtualCable*> handles_;
    std::uintptr_t nextHandle_ = 0x1000;
    Fault faults_[kCallCount];
    int counts_[kCallCount] = {};
    std::uint64_t failAllFromUs_ = std::numeric_limits<std::uint64_t>::max();

    static SimDriver* active_;
};

}  // namespace tq9::sim

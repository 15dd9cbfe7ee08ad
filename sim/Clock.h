#pragma once
// The simulated bench's clock. Tests share one VirtualClock between the scripted host,
// the simulated driver and the peers: time moves only when the code waits, and a little
// on each driver call or tick-counter read, so polling loops make progress. The demo and
// the benchmarks use the real clock.

#include <chrono>
#include <cstdint>

namespace tq9::sim {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::uint64_t NowUs() = 0;
    // The time an action costs. A virtual clock moves on by it; real time passes by itself.
    virtual void Spend(std::uint64_t us) = 0;
};

class VirtualClock : public Clock {
  public:
    explicit VirtualClock(std::uint64_t startUs = 0) : now_(startUs) {}
    std::uint64_t NowUs() override { return now_; }
    void Spend(std::uint64_t us) override { now_ += us; }
    void Advance(std::uint64_t us) { now_ += us; }
    void AdvanceTo(std::uint64_t us) {
        if (us > now_) now_ = us;
    }

  private:
    std::uint64_t now_;
};

class RealClock : public Clock {
  public:
    std::uint64_t NowUs() override;
    // The same time with its fraction, for measurements finer than a microsecond.
    double NowUsExact() const;
    void Spend(std::uint64_t) override {}

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace tq9::sim

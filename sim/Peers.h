#pragma once
// Simple peers for the far end of a virtual cable.

#include <string>

#include "sim/SimDriver.h"

namespace tq9::sim {

// Sends every CR-terminated line back once it has fully arrived, at 57600-baud timing.
class LineEchoPeer : public Peer {
  public:
    void Received(VirtualCable& cable, const std::uint8_t* data, std::size_t size,
                  std::uint64_t nowUs) override;
    // Everything received since the last CR.
    const std::string& Partial() const { return partial_; }

  private:
    std::string partial_;
};

}  // namespace tq9::sim

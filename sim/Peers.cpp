#include "sim/Peers.h"

namespace tq9::sim {

void LineEchoPeer::Received(VirtualCable& cable, const std::uint8_t* data, std::size_t size,
                            std::uint64_t nowUs) {
    for (std::size_t i = 0; i < size; ++i) {
        partial_ += static_cast<char>(data[i]);
        if (data[i] == '\r') {
            // The line's last byte reaches us only after its bytes have crossed the wire.
            const std::uint64_t lineDone = ByteArrivalUs(nowUs, i, cable.line.baudRate);
            cable.SendToHost(partial_, lineDone);
            partial_.clear();
        }
    }
}

}  // namespace tq9::sim

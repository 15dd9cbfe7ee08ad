#include "sim/SimDriver.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "usb/ForwardingTable.h"

namespace tq9::sim {

using namespace d2xx;

SimDriver* SimDriver::active_ = nullptr;

const char* CallName(Call call) {
    return kD2xxFunctionNames[static_cast<int>(call)];
}

std::uint64_t VirtualCable::SendToHost(const std::string& bytes, std::uint64_t startUs,
                                       std::uint32_t baud) {
    // A byte cannot leave before the one queued ahead of it has arrived.
    if (!rx_.empty()) startUs = std::max(startUs, rx_.back().arrivalUs);
    std::uint64_t last = startUs;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        last = ByteArrivalUs(startUs, i, baud);
        rx_.push_back({last, static_cast<std::uint8_t>(bytes[i])});
    }
    return last;
}

std::size_t VirtualCable::Arrived(std::uint64_t nowUs) const {
    std::size_t n = 0;
    while (n < rx_.size() && rx_[n].arrivalUs <= nowUs)
        ++n;
    return n;
}

std::string VirtualCable::TakeArrived(std::uint64_t nowUs) {
    std::string bytes;
    while (!rx_.empty() && rx_.front().arrivalUs <= nowUs) {
        bytes += static_cast<char>(rx_.front().value);
        rx_.pop_front();
    }
    return bytes;
}

SimDriver::SimDriver(Clock& clock) : clock_(clock) {
    if (active_) throw std::logic_error("only one simulated driver may exist at a time");
    active_ = this;
}

SimDriver::~SimDriver() {
    if (active_ == this) active_ = nullptr;
}

VirtualCable& SimDriver::AddCable(const std::string& serial, const std::string& description,
                                  std::shared_ptr<Peer> peer) {
    cables_.push_back(std::make_unique<VirtualCable>(serial, description, std::move(peer)));
    return *cables_.back();
}

VirtualCable* SimDriver::Find(const std::string& serial) {
    for (auto& cable : cables_) {
        if (cable->serial == serial) return cable.get();
    }
    return nullptr;
}

void SimDriver::FailCall(Call call, int times, FT_STATUS status, int after) {
    faults_[static_cast<int>(call)] = Fault{after, times, status};
}

bool SimDriver::Enter(Call call, FT_STATUS& status) {
    const int i = static_cast<int>(call);
    ++counts_[i];
    clock_.Spend(callCostUs);
    if (clock_.NowUs() >= failAllFromUs_) {
        status = FT_IO_ERROR;
        return true;
    }
    Fault& fault = faults_[i];
    if (fault.skip > 0) {
        --fault.skip;
        return false;
    }
    if (fault.remaining != 0) {
        if (fault.remaining > 0) --fault.remaining;
        status = fault.status;
        return true;
    }
    return false;
}

FT_STATUS SimDriver::CableOf(FT_HANDLE handle, VirtualCable*& cable) {
    const auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end()) return FT_INVALID_HANDLE;
    cable = it->second;
    if (cable->peer) cable->peer->Advance(*cable, clock_.NowUs());
    if (!cable->plugged) return FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS SimDriver::CreateDeviceInfoList(DWORD* numDevs) {
    FT_STATUS status;
    if (Enter(Call::CreateDeviceInfoList, status)) return status;
    if (!numDevs) return FT_INVALID_PARAMETER;
    snapshot_.clear();
    for (auto& cable : cables_) {
        if (cable->plugged) snapshot_.push_back(cable.get());
    }
    *numDevs = static_cast<DWORD>(snapshot_.size());
    return FT_OK;
}

FT_STATUS SimDriver::GetDeviceInfoList(ftdiDeviceNode* dest, DWORD* numDevs) {
    FT_STATUS status;
    if (Enter(Call::GetDeviceInfoList, status)) return status;
    if (!dest || !numDevs) return FT_INVALID_PARAMETER;
    for (std::size_t i = 0; i < snapshot_.size(); ++i) {
        const VirtualCable& cable = *snapshot_[i];
        ftdiDeviceNode node{};
        node.flags = cable.IsOpen() ? FT_FLAGS_OPENED : 0;
        node.deviceType = FT_DEVICE_232R;
        node.id = 0x04036001;
        node.locid = static_cast<DWORD>(0x100 + i);
        // A text that fills the field has no NUL, as in the real driver's nodes.
        std::memcpy(node.serialNumber, cable.serial.data(),
                    std::min(cable.serial.size(), sizeof node.serialNumber));
        std::memcpy(node.description, cable.description.data(),
                    std::min(cable.description.size(), sizeof node.description));
        for (const auto& [id, open] : handles_) {
            if (open == &cable) node.ftHandle = reinterpret_cast<FT_HANDLE>(id);
        }
        dest[i] = node;
    }
    *numDevs = static_cast<DWORD>(snapshot_.size());
    return FT_OK;
}

FT_STATUS SimDriver::OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) {
    FT_STATUS status;
    if (Enter(Call::OpenEx, status)) return status;
    if (!arg || !handle || flags != FT_OPEN_BY_SERIAL_NUMBER) return FT_INVALID_PARAMETER;
    const std::string serial(static_cast<const char*>(arg));
    bool busy = false;
    for (auto& cable : cables_) {
        if (!cable->plugged || cable->serial != serial) continue;
        if (cable->open_) {
            busy = true;
            continue;
        }
        cable->open_ = true;
        const std::uintptr_t id = nextHandle_++;
        handles_[id] = cable.get();
        *handle = reinterpret_cast<FT_HANDLE>(id);
        if (cable->openHook) cable->openHook(true);
        return FT_OK;
    }
    return busy ? FT_DEVICE_NOT_OPENED : FT_DEVICE_NOT_FOUND;
}

FT_STATUS SimDriver::Close(FT_HANDLE handle) {
    FT_STATUS status;
    if (Enter(Call::Close, status)) return status;
    const auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end()) return FT_INVALID_HANDLE;
    VirtualCable* cable = it->second;
    handles_.erase(it);
    cable->open_ = false;
    cable->rx_.clear();
    if (cable->openHook) cable->openHook(false);
    return FT_OK;
}

FT_STATUS SimDriver::ResetDevice(FT_HANDLE handle) {
    FT_STATUS status;
    if (Enter(Call::ResetDevice, status)) return status;
    VirtualCable* cable = nullptr;
    if (FT_STATUS s = CableOf(handle, cable); s != FT_OK) return s;
    ++cable->resets;
    if (cable->peer) cable->peer->Reset(*cable, clock_.NowUs());
    return FT_OK;
}

FT_STATUS SimDriver::SetBaudRate(FT_HANDLE handle, ULONG baud) {
    FT_STATUS status;
    if (Enter(Call::SetBaudRate, status)) return status;
    VirtualCable* cable = nullptr;
    if (FT_STATUS s = CableOf(handle, cable); s != FT_OK) return s;
    cable->line.baudRate = baud;
    return FT_OK;
}

FT_STATUS SimDriver::SetDataCharacteristics(FT_HANDLE handle, UCHAR length, UCHAR stop,
                                            UCHAR parity) {
    FT_STATUS status;
    if (Enter(Call::SetDataCharacteristics, status)) return status;
    VirtualCable* cable = nullptr;
    if (FT_STATUS s = CableOf(handle, cable); s != FT_OK) return s;
    cable->line.wordLength = length;
    cable->line.stopBits = stop;
    cable->line.parity = parity;
    return FT_OK;
}

FT_STATUS SimDriver::SetFlowControl(FT_HANDLE handle, USHORT flow, UCHAR xon, UCHAR xoff) {
    FT_STATUS status;
    if (Enter(Call::SetFlowControl, status)) return status;
    VirtualCable* cable = nullptr;
    if (FT_STATUS s = CableOf(handle, cable); s != FT_OK) return s;
    cable->line.flowControl = flow;
    cable->line.xon = xon;
    cable->line.xoff = xoff;
    return FT_OK;
}

FT_STATUS SimDriver::Purge(FT_HANDLE handle, ULONG mask) {
    FT_STATUS status;
    if (Enter(Call::Purge, status)) return status;
    VirtualCable* cable = nullptr;
    if (FT_STATUS s = CableOf(handle, cable); s != FT_OK) return s;
    cable->purges.push_back(mask);
    if (mask & 1u) {
        // Only what has arrived is thrown away; bytes still on the wire come in later.
        const std::size_t arrived = cable->Arrived(clock_.NowUs());
        cable->rx_.erase(cable->rx_.begin(), cable->rx_.begin() + static_cast<long>(arrived));
    }
    return FT_OK;
}

FT_STATUS SimDriver::GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) {
    FT_STATUS status;
    if (Enter(Call::GetQueueStatus, status)) return status;
    if (!rxBytes) return FT_INVALID_PARAMETER;
    VirtualCable* cable = nullptr;
    if (FT_STATUS s = CableOf(handle, cable); s != FT_OK) return s;
    *rxBytes = static_cast<DWORD>(cable->Arrived(clock_.NowUs()));
    return FT_OK;
}

FT_STATUS SimDriver::Read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* got) {
    FT_STATUS status;
    if (Enter(Call::Read, status)) return status;
    if (!got || (!buffer && toRead > 0)) return FT_INVALID_PARAMETER;
    *got = 0;
    VirtualCable* cable = nullptr;
    if (FT_STATUS s = CableOf(handle, cable); s != FT_OK) return s;
    const std::size_t n = std::min<std::size_t>(toRead, cable->Arrived(clock_.NowUs()));
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = cable->rx_.front().value;
        cable->rx_.pop_front();
    }
    *got = static_cast<DWORD>(n);
    return FT_OK;
}

FT_STATUS SimDriver::Write(FT_HANDLE handle, void* buffer, DWORD toWrite, DWORD* written) {
    FT_STATUS status;
    if (Enter(Call::Write, status)) return status;
    if (!written || (!buffer && toWrite > 0)) return FT_INVALID_PARAMETER;
    *written = 0;
    VirtualCable* cable = nullptr;
    if (FT_STATUS s = CableOf(handle, cable); s != FT_OK) return s;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    cable->written.insert(cable->written.end(), bytes, bytes + toWrite);
    *written = toWrite;
    if (cable->peer) cable->peer->Received(*cable, bytes, toWrite, clock_.NowUs());
    return FT_OK;
}

const FTDIdll& SimDriver::Table() {
    return ForwardingTable<SimDriver>::Get();
}

}  // namespace tq9::sim

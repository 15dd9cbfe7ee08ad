#include "sim/BoardEmulator.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tq9::sim {

namespace {
constexpr std::uint32_t kBaud = 57600;

std::optional<std::int32_t> Number(const std::string& text) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool IsScanCoreTarget(std::int32_t param) {
    return param >= 8900 && param <= 8999;
}
}  // namespace

BoardEmulator::BoardEmulator(BoardIdentity identity, BoardFaults faults, BoardTiming timing)
    : identity(std::move(identity)),
      faults(std::move(faults)),
      timing(timing),
      random_(this->faults.seed) {}

std::uint32_t BoardEmulator::Checksum(const std::vector<std::uint32_t>& words) {
    std::uint32_t sum = 0;
    for (const std::uint32_t word : words)
        sum += word;
    return sum;
}

void BoardEmulator::Advance(VirtualCable& cable, std::uint64_t nowUs) {
    if (faults.unplugAtUs && nowUs >= *faults.unplugAtUs) cable.plugged = false;
}

void BoardEmulator::Received(VirtualCable& cable, const std::uint8_t* data, std::size_t size,
                             std::uint64_t nowUs) {
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint64_t arrivedUs = ByteArrivalUs(nowUs, i, kBaud);
        const std::uint8_t byte = data[i];
        if (rawBytesLeft_ > 0) {
            if (raw_.size() % 4 == 0) uploads.back().wordStartUs.push_back(nowUs);
            raw_.push_back(byte);
            if (--rawBytesLeft_ == 0) {
                Upload& upload = uploads.back();
                for (std::size_t w = 0; w + 3 < raw_.size(); w += 4) {
                    upload.words.push_back(
                        std::uint32_t(raw_[w]) | std::uint32_t(raw_[w + 1]) << 8 |
                        std::uint32_t(raw_[w + 2]) << 16 | std::uint32_t(raw_[w + 3]) << 24);
                }
                raw_.clear();
                char closing[96];
                std::snprintf(closing, sizeof closing, "Core %d loaded: %zu words, sum %08X",
                              upload.target - 8900, upload.words.size(),
                              static_cast<unsigned>(Checksum(upload.words)));
                Reply(cable, closing, arrivedUs);
            }
            continue;
        }
        if (byte == '\r') {
            Command(cable, partial_, arrivedUs);
            partial_.clear();
        } else if (byte != '\n') {
            partial_ += static_cast<char>(byte);
        }
    }
}

bool BoardEmulator::RunFirmwareFromFlash() {
    std::ifstream file(flashImage, std::ios::binary);
    const std::string flash((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    // "TQ9FW <name> <version>", NUL-terminated, as the bench's images carry it.
    const std::size_t at = flash.find("TQ9FW ");
    if (at == std::string::npos) return false;
    const std::size_t end = flash.find('\0', at);
    std::istringstream marker(flash.substr(at + 6, end == std::string::npos ? 64 : end - at - 6));
    std::string name, version;
    if (!(marker >> name >> version)) return false;
    identity.firmwareName = name;
    identity.firmwareVersion = version;
    return true;
}

void BoardEmulator::Command(VirtualCable& cable, const std::string& line, std::uint64_t atUs) {
    commands.push_back(line);
    if (faults.silent) return;
    if (!flashImage.empty() && !RunFirmwareFromFlash()) return;

    if (line == "RLD") {
        busyUntilUs_ = atUs + timing.bootUs;
        Report(cable, {"TQ9 reset", "Loading FPGA configuration...", "FPGA configured", "#Ready"},
               atUs, timing.bootUs);
        return;
    }
    if (atUs < busyUntilUs_) return;  // still booting: deaf to everything
    if (line == "UPD 2=1!") {
        Report(cable,
               {"FPGA update started", "Erasing configuration flash...", "Writing configuration...",
                "Verify OK", "#UPD done"},
               atUs, timing.reportUs);
        return;
    }
    if (line == "EPS=9!") {
        Report(cable, {"Storing factory defaults...", "#EPS done"}, atUs, timing.reportUs);
        return;
    }
    if (line == "9960=10!") {
        Report(cable, {"Reverb DSP program transfer...", "DSP verify OK", "#DSP done"}, atUs,
               timing.reportUs);
        return;
    }
    if (!line.empty() && line.back() == '?') {
        if (const auto param = Number(line.substr(0, line.size() - 1))) {
            if (const auto answer = Answer(*param)) Reply(cable, *answer, atUs);
            return;
        }
    }
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) {
        const bool bang = line.back() == '!';
        const auto param = Number(line.substr(0, equals));
        const auto value =
            Number(line.substr(equals + 1, line.size() - equals - 1 - (bang ? 1 : 0)));
        if (param && value) {
            params[*param] = *value;
            Reply(cable, std::to_string(*param) + "=" + std::to_string(*value), atUs);
            if (bang && IsScanCoreTarget(*param)) {
                uploads.push_back(Upload{*param, *value, {}, {}});
                rawBytesLeft_ = *value > 0 ? static_cast<std::size_t>(*value) * 4 : 0;
                if (rawBytesLeft_ == 0) {
                    Reply(
                        cable,
                        "Core " + std::to_string(*param - 8900) + " loaded: 0 words, sum 00000000",
                        atUs);
                }
            }
            return;
        }
    }
    Reply(cable, "ERR " + line, atUs);
}

std::optional<std::string> BoardEmulator::Answer(std::int32_t param) {
    if (param == 253) ++readinessPolls;
    if (const auto it = faults.replyOverride.find(param); it != faults.replyOverride.end()) {
        return it->second;
    }
    switch (param) {
        case 253:
            if (readinessPolls < faults.readyFromPoll) return std::nullopt;
            return "253=1";
        case 254:
            return "254=" + identity.firmwareVersion + " [AVR, " + identity.firmwareName + "]";
        case 3:
            return "3=[#" + identity.fpgaVersion + "]";
        case 9952:
            return "9952=" + std::to_string(identity.serialNumber);
        case 1240:
            return "1240=" + std::to_string(identity.scanCore);
        default: {
            const auto it = params.find(param);
            return std::to_string(param) + "=" +
                   std::to_string(it == params.end() ? 0 : it->second);
        }
    }
}

void BoardEmulator::Reply(VirtualCable& cable, const std::string& text, std::uint64_t atUs) {
    std::uint64_t start = atUs + timing.responseUs;
    if (faults.jitterUs > 0) {
        start += std::uniform_int_distribution<std::uint64_t>(0, faults.jitterUs)(random_);
    }
    if (!faults.unsolicitedLine.empty()) {
        cable.SendToHost(faults.unsolicitedLine + "\r", start, kBaud);
        faults.unsolicitedLine.clear();
    }
    lastReplyEndUs = cable.SendToHost(text + "\r", start, kBaud);
}

void BoardEmulator::Report(VirtualCable& cable, const std::vector<std::string>& lines,
                           std::uint64_t atUs, std::uint64_t spanUs) {
    std::vector<std::string> sent;
    for (const auto& line : lines) {
        if (faults.reportWithoutHash && !line.empty() && line.front() == '#') continue;
        sent.push_back(line + "\r");
    }
    if (faults.reportCutMidLine && !sent.empty()) {
        sent.pop_back();  // the "#" line never comes
        if (!sent.empty()) sent.back() = sent.back().substr(0, sent.back().size() / 2);
    }
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const std::uint64_t offset = sent.size() > 1 ? spanUs * i / (sent.size() - 1) : spanUs;
        lastReplyEndUs = cable.SendToHost(sent[i], atUs + timing.responseUs + offset, kBaud);
    }
}

}  // namespace tq9::sim

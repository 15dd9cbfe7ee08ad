#include "sim/IspEmulator.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace tq9::sim {

namespace {
constexpr std::uint8_t kMessageStart = 0x1B;
constexpr std::uint8_t kToken = 0x0E;
constexpr std::uint8_t kStatusOk = 0x00;
constexpr std::uint8_t kStatusFailed = 0xC0;
constexpr std::uint8_t kStatusChecksumError = 0xC1;
constexpr std::uint8_t kStatusUnknown = 0xC9;
constexpr std::uint8_t kAnswerChecksumError = 0xB0;
// The programmer's message buffer (avrdude sizes its own the same): a longer answer cannot
// be sent.
constexpr std::size_t kMaxBody = 275;

enum Command : std::uint8_t {
    kSignOn = 0x01,
    kSetParameter = 0x02,
    kGetParameter = 0x03,
    kSetDeviceParameters = 0x04,
    kOscCal = 0x05,
    kLoadAddress = 0x06,
    kEnterProgmode = 0x10,
    kLeaveProgmode = 0x11,
    kChipErase = 0x12,
    kProgramFlash = 0x13,
    kReadFlash = 0x14,
    kProgramEeprom = 0x15,
    kReadEeprom = 0x16,
    kProgramFuse = 0x17,
    kReadFuse = 0x18,
    kProgramLock = 0x19,
    kReadLock = 0x1A,
    kReadSignature = 0x1B,
    kReadOscCal = 0x1C,
    kSpiMulti = 0x1D,
};

std::array<std::uint8_t, 4> Instruction(const std::vector<std::uint8_t>& body, std::size_t at) {
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < 4 && at + i < body.size(); ++i)
        bytes[i] = body[at + i];
    return bytes;
}

std::size_t Count(const std::vector<std::uint8_t>& body) {
    return body.size() >= 3 ? std::size_t(body[1]) << 8 | body[2] : 0;
}
}  // namespace

bool ParseIspFault(const std::string& text, IspFault& fault) {
    static const std::pair<const char*, IspFault> kNames[] = {
        {"none", IspFault::none},
        {"no-target", IspFault::noTarget},
        {"silent", IspFault::silent},
        {"wrong-signature", IspFault::wrongSignature},
        {"stuck-flash", IspFault::stuckFlash},
        {"fuses-ignored", IspFault::fusesIgnored},
        {"efuse-ignored", IspFault::efuseIgnored},
    };
    for (const auto& [name, value] : kNames) {
        if (text == name) {
            fault = value;
            return true;
        }
    }
    return false;
}

std::array<std::uint8_t, 4> Atmega644p::Spi(const std::array<std::uint8_t, 4>& in) {
    // The chip shifts out each byte one position late; reads put their answer last.
    std::array<std::uint8_t, 4> out{0, in[0], in[1], in[2]};
    if (!answers) return {0xFF, 0xFF, 0xFF, 0xFF};
    const std::size_t word = std::size_t(in[1]) << 8 | in[2];
    switch (in[0]) {
        case 0xAC:
            if (in[1] == 0x53) break;  // programming enable: 0x53 comes back third
            if ((in[1] & 0xE0) == 0x80) ChipErase();
            if (in[1] == 0xA0 && fusesTake) lfuse = in[3];
            if (in[1] == 0xA8 && fusesTake) hfuse = in[3];
            if (in[1] == 0xA4 && fusesTake && efuseTakes) efuse = in[3];
            if ((in[1] & 0xE0) == 0xE0) lock = in[3];
            break;
        case 0x30:
            // Two address bits; the fourth row holds no signature byte and reads erased.
            out[3] = (in[2] & 0x03) < signature.size() ? signature[in[2] & 0x03] : 0xFF;
            break;
        case 0x38:
            out[3] = 0x9A;  // calibration byte
            break;
        case 0x50:
            out[3] = in[1] == 0x08 ? efuse : lfuse;
            break;
        case 0x58:
            out[3] = in[1] == 0x08 ? hfuse : lock;
            break;
        case 0x20:
        case 0x28:
            out[3] = ReadFlash(word * 2 + (in[0] == 0x28 ? 1 : 0));
            break;
        case 0xA0:
            out[3] = ReadEeprom(word & (kEepromBytes - 1));
            break;
        case 0xF0:
            out[3] = 0x00;  // never busy
            break;
        default:
            break;
    }
    return out;
}

void Atmega644p::ChipErase() {
    std::fill(flash.begin(), flash.end(), 0xFF);
    // EESAVE (high fuse bit 3) programmed keeps the EEPROM.
    if (hfuse & 0x08) std::fill(eeprom.begin(), eeprom.end(), 0xFF);
    lock = 0xFF;
}

void Atmega644p::WriteFlash(std::size_t byteAddress, const std::uint8_t* data, std::size_t size) {
    if (!flashTakes) return;
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t at = (byteAddress + i) % kFlashBytes;
        flash[at] &= data[i];
    }
}

void Atmega644p::WriteEeprom(std::size_t byteAddress, const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        eeprom[(byteAddress + i) % kEepromBytes] = data[i];
}

std::uint8_t Atmega644p::ReadFlash(std::size_t byteAddress) const {
    return flash[byteAddress % kFlashBytes];
}

std::uint8_t Atmega644p::ReadEeprom(std::size_t byteAddress) const {
    return eeprom[byteAddress % kEepromBytes];
}

Stk500v2Programmer::Stk500v2Programmer(IspFault fault) : fault_(fault) {
    if (fault == IspFault::noTarget) chip.answers = false;
    if (fault == IspFault::wrongSignature) chip.signature = {0x1E, 0x95, 0x0F};
    if (fault == IspFault::stuckFlash) chip.flashTakes = false;
    if (fault == IspFault::fusesIgnored) chip.fusesTake = false;
    if (fault == IspFault::efuseIgnored) chip.efuseTakes = false;
    parameters_[0x90] = 0x02;  // hardware version
    parameters_[0x91] = 0x02;  // firmware 2.10
    parameters_[0x92] = 0x0A;
    parameters_[0x94] = 50;  // 5.0 V on the target
    parameters_[0x95] = 50;
    parameters_[0x98] = 0x02;  // SCK duration
    parameters_[0x9A] = 0xFF;  // no top card
}

std::string Stk500v2Programmer::Receive(const std::string& bytes) {
    std::string answers;
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        switch (state_) {
            case State::Start:
                if (byte != kMessageStart) break;
                checksum_ = byte;
                state_ = State::Sequence;
                break;
            case State::Sequence:
                sequence_ = byte;
                checksum_ ^= byte;
                state_ = State::SizeHigh;
                break;
            case State::SizeHigh:
                size_ = std::size_t(byte) << 8;
                checksum_ ^= byte;
                state_ = State::SizeLow;
                break;
            case State::SizeLow:
                size_ |= byte;
                checksum_ ^= byte;
                state_ = State::Token;
                break;
            case State::Token:
                checksum_ ^= byte;
                body_.clear();
                state_ = byte == kToken ? (size_ ? State::Body : State::Checksum) : State::Start;
                break;
            case State::Body:
                body_.push_back(byte);
                checksum_ ^= byte;
                if (body_.size() == size_) state_ = State::Checksum;
                break;
            case State::Checksum: {
                state_ = State::Start;
                char line[64];
                std::snprintf(line, sizeof line, "seq %u cmd 0x%02X size %zu%s", sequence_,
                              body_.empty() ? 0u : body_[0], body_.size(),
                              byte == checksum_ ? "" : " bad checksum");
                log.emplace_back(line);
                const std::vector<std::uint8_t> answer =
                    byte == checksum_
                        ? Answer(body_)
                        : std::vector<std::uint8_t>{kAnswerChecksumError, kStatusChecksumError};
                if (fault_ != IspFault::silent) answers += Frame(sequence_, answer);
                break;
            }
        }
    }
    return answers;
}

bool Stk500v2Programmer::TakeSessionEnd() {
    const bool ended = sessionEnded_;
    sessionEnded_ = false;
    return ended;
}

std::string Stk500v2Programmer::FusesText() const {
    char text[64];
    std::snprintf(text, sizeof text, "lfuse=0x%02X hfuse=0x%02X efuse=0x%02X lock=0x%02X",
                  chip.lfuse, chip.hfuse, chip.efuse, chip.lock);
    return text;
}

std::vector<std::uint8_t> Stk500v2Programmer::Answer(const std::vector<std::uint8_t>& body) {
    if (body.empty()) return {0x00, kStatusUnknown};
    const std::uint8_t command = body[0];
    std::vector<std::uint8_t> answer{command, kStatusOk};
    switch (command) {
        case kSignOn: {
            static constexpr char kName[] = "STK500_2";
            answer.reserve(3 + sizeof kName);
            answer.push_back(static_cast<std::uint8_t>(sizeof kName - 1));
            for (const char c : std::string_view(kName))
                answer.push_back(static_cast<std::uint8_t>(c));
            break;
        }
        case kSetParameter:
            if (body.size() >= 3) parameters_[body[1]] = body[2];
            break;
        case kGetParameter:
            answer.push_back(body.size() >= 2 ? parameters_[body[1]] : 0);
            break;
        case kSetDeviceParameters:
        case kOscCal:
            break;
        case kLoadAddress:
            if (body.size() >= 5) {
                address_ = (std::uint32_t(body[1]) << 24 | std::uint32_t(body[2]) << 16 |
                            std::uint32_t(body[3]) << 8 | body[4]) &
                           0x7FFFFFFFu;
            }
            break;
        case kEnterProgmode: {
            // timeout, stabDelay, cmdexeDelay, synchLoops, byteDelay, pollValue, pollIndex,
            // then the programming-enable instruction.
            const std::uint8_t pollValue = body.size() > 6 ? body[6] : 0;
            const std::uint8_t pollIndex = body.size() > 7 ? body[7] : 0;
            const auto out = chip.Spi(Instruction(body, 8));
            if (pollIndex > 0 && pollIndex <= 4 && out[pollIndex - 1] != pollValue) {
                answer[1] = kStatusFailed;
            }
            break;
        }
        case kLeaveProgmode:
            sessionEnded_ = true;
            break;
        case kChipErase:
            chip.Spi(Instruction(body, 3));
            break;
        case kProgramFlash:
        case kProgramEeprom: {
            // count (2), mode, delay, three instructions, two poll values, then the data.
            const std::size_t n = std::min(Count(body), body.size() > 10 ? body.size() - 10 : 0);
            if (command == kProgramFlash) {
                chip.WriteFlash(std::size_t(address_) * 2, body.data() + 10, n);
                address_ += static_cast<std::uint32_t>(n / 2);
            } else {
                chip.WriteEeprom(address_, body.data() + 10, n);
                address_ += static_cast<std::uint32_t>(n);
            }
            break;
        }
        case kReadFlash:
        case kReadEeprom: {
            const std::size_t n = Count(body);
            // Command, status, the data and a second status must fit one answer.
            if (n + 3 > kMaxBody) {
                answer[1] = kStatusFailed;
                break;
            }
            for (std::size_t i = 0; i < n; ++i) {
                answer.push_back(command == kReadFlash
                                     ? chip.ReadFlash(std::size_t(address_) * 2 + i)
                                     : chip.ReadEeprom(address_ + i));
            }
            address_ += static_cast<std::uint32_t>(command == kReadFlash ? n / 2 : n);
            answer.push_back(kStatusOk);
            break;
        }
        case kProgramFuse:
        case kProgramLock:
            chip.Spi(Instruction(body, 1));
            answer.push_back(kStatusOk);
            break;
        case kReadFuse:
        case kReadLock:
        case kReadSignature:
        case kReadOscCal: {
            const std::uint8_t position = body.size() > 1 ? body[1] : 4;
            const auto out = chip.Spi(Instruction(body, 2));
            answer.push_back(position >= 1 && position <= 4 ? out[position - 1] : 0);
            answer.push_back(kStatusOk);
            break;
        }
        case kSpiMulti: {
            // bytes to send, bytes to receive, where the received ones start, then the bytes.
            const std::size_t rx = body.size() > 2 ? body[2] : 0;
            const std::size_t from = body.size() > 3 ? body[3] : 0;
            const auto out = chip.Spi(Instruction(body, 4));
            for (std::size_t i = 0; i < rx; ++i)
                answer.push_back(from + i < 4 ? out[from + i] : 0);
            answer.push_back(kStatusOk);
            break;
        }
        default:
            answer[1] = kStatusUnknown;
            break;
    }
    return answer;
}

std::string Stk500v2Programmer::Frame(std::uint8_t sequence,
                                      const std::vector<std::uint8_t>& body) const {
    std::string frame;
    frame += static_cast<char>(kMessageStart);
    frame += static_cast<char>(sequence);
    frame += static_cast<char>(body.size() >> 8);
    frame += static_cast<char>(body.size() & 0xFF);
    frame += static_cast<char>(kToken);
    for (const std::uint8_t byte : body)
        frame += static_cast<char>(byte);
    std::uint8_t checksum = 0;
    for (const char c : frame)
        checksum ^= static_cast<std::uint8_t>(c);
    frame += static_cast<char>(checksum);
    return frame;
}

}  // namespace tq9::sim

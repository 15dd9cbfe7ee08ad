#pragma once
// The DIAMEX ISP programmer as avrdude's "-c stk500v2" speaks to it: STK500 version 2
// messages in, answers out, with an ATmega644P behind its ISP pins. Built from what avrdude
// 7.1 really sends for the production run's three command lines.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tq9::sim {

enum class IspFault {
    none,
    noTarget,        // the target never answers programming enable
    silent,          // the programmer never answers
    wrongSignature,  // another chip (an ATmega328P) is fitted
    stuckFlash,      // flash writes do not take: it reads back erased
    fusesIgnored,    // fuse writes are answered OK but the fuses keep their old values
    efuseIgnored,    // as fusesIgnored, for the extended fuse alone
};
// "none", "no-target", "silent", "wrong-signature", "stuck-flash", "fuses-ignored",
// "efuse-ignored"; false for another text.
bool ParseIspFault(const std::string& text, IspFault& fault);

// The chip's memories and its serial-programming instructions (4 bytes in, 4 bytes out).
struct Atmega644p {
    static constexpr std::size_t kFlashBytes = 65536;
    static constexpr std::size_t kEepromBytes = 2048;

    std::array<std::uint8_t, 3> signature{0x1E, 0x96, 0x0A};
    std::vector<std::uint8_t> flash = std::vector<std::uint8_t>(kFlashBytes, 0xFF);
    std::vector<std::uint8_t> eeprom = std::vector<std::uint8_t>(kEepromBytes, 0xFF);
    // As the chip leaves the factory.
    std::uint8_t lfuse = 0x62, hfuse = 0x99, efuse = 0xFF, lock = 0xFF;
    bool answers = true;     // false: no target on the ISP pins
    bool flashTakes = true;  // false: page writes leave the flash as it was
    bool fusesTake = true;   // false: fuse writes leave the fuses as they were
    bool efuseTakes = true;  // false: the extended fuse's writes leave it as it was

    std::array<std::uint8_t, 4> Spi(const std::array<std::uint8_t, 4>& in);
    void ChipErase();
    // Flash is programmed a page at a time and can only clear bits; EEPROM is written.
    void WriteFlash(std::size_t byteAddress, const std::uint8_t* data, std::size_t size);
    void WriteEeprom(std::size_t byteAddress, const std::uint8_t* data, std::size_t size);
    std::uint8_t ReadFlash(std::size_t byteAddress) const;
    std::uint8_t ReadEeprom(std::size_t byteAddress) const;
};

class Stk500v2Programmer {
  public:
    explicit Stk500v2Programmer(IspFault fault = IspFault::none);

    // Bytes from the host, in any pieces; returns the answers to every message they
    // complete (nothing at all for a silent programmer).
    std::string Receive(const std::string& bytes);
    // Whether a programming session ended (programming mode left) since the last call.
    bool TakeSessionEnd();
    // The chip's fuse and lock bytes as one line: "lfuse=0xF7 hfuse=0xD2 efuse=0xFC lock=0xEF".
    std::string FusesText() const;

    Atmega644p chip;
    // One line per message received, for finding out what avrdude asks.
    std::vector<std::string> log;

  private:
    std::vector<std::uint8_t> Answer(const std::vector<std::uint8_t>& body);
    std::string Frame(std::uint8_t sequence, const std::vector<std::uint8_t>& body) const;

    IspFault fault_;
    enum class State {
        Start,
        Sequence,
        SizeHigh,
        SizeLow,
        Token,
        Body,
        Checksum
    } state_ = State::Start;
    std::uint8_t sequence_ = 0;
    std::size_t size_ = 0;
    std::vector<std::uint8_t> body_;
    std::uint8_t checksum_ = 0;
    std::uint32_t address_ = 0;
    std::array<std::uint8_t, 256> parameters_{};
    bool sessionEnded_ = false;
};

}  // namespace tq9::sim

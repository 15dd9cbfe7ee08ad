// The emulated programmer at its two seams: framed STK500v2 messages in and answers out,
// and the real avrdude on its pseudo-terminal.

#include "sim/IspEmulator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "support/AvrdudeBench.h"
#endif

namespace tq9 {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kReadFlash = 0x14, kReadEeprom = 0x16, kReadSignature = 0x1B,
                       kSpiMulti = 0x1D, kLoadAddress = 0x06;
constexpr std::uint8_t kOk = 0x00, kFailed = 0xC0;

class IspMessagesTest : public ::testing::Test {
  protected:
    // One message framed as avrdude frames it; returns the body of the one answer, after
    // checking the answer's own framing.
    Bytes Send(const Bytes& body) {
        std::string frame{'\x1B', static_cast<char>(++sequence_),
                          static_cast<char>(body.size() >> 8),
                          static_cast<char>(body.size() & 0xFF), '\x0E'};
        frame.append(body.begin(), body.end());
        char checksum = 0;
        for (const char c : frame)
            checksum ^= c;
        frame += checksum;

        const std::string answer = programmer.Receive(frame);
        EXPECT_GE(answer.size(), 6u);
        if (answer.size() < 6) return {};
        const std::size_t size =
            std::size_t(std::uint8_t(answer[2])) << 8 | std::uint8_t(answer[3]);
        EXPECT_EQ(answer[0], '\x1B');
        EXPECT_EQ(std::uint8_t(answer[1]), sequence_);
        EXPECT_EQ(answer[4], '\x0E');
        EXPECT_EQ(answer.size(), size + 6) << "the size field says how long the answer is";
        char sum = 0;
        for (const char c : answer)
            sum ^= c;
        EXPECT_EQ(sum, 0) << "bad answer checksum";
        return Bytes(answer.begin() + 5, answer.end() - 1);
    }
    Bytes Read(std::uint8_t command, std::size_t count) {
        const std::uint8_t instruction = command == kReadFlash ? 0x20 : 0xA0;
        return Send({command, std::uint8_t(count >> 8), std::uint8_t(count & 0xFF), instruction});
    }

    sim::Stk500v2Programmer programmer;

  private:
    std::uint8_t sequence_ = 0;
};

TEST_F(IspMessagesTest, AReadLongerThanOneAnswerIsRefusedAndLeavesTheAddress) {
    for (std::size_t i = 0; i < 16; ++i)
        programmer.chip.flash[i] = std::uint8_t(i);
    for (std::size_t i = 0; i < 16; ++i)
        programmer.chip.eeprom[i] = std::uint8_t(0x40 + i);

    for (const std::uint8_t command : {kReadFlash, kReadEeprom}) {
        ASSERT_EQ(Send({kLoadAddress, 0, 0, 0, 0}), (Bytes{kLoadAddress, kOk}));
        // 65533 and more would wrap the 16-bit size; 273 no longer fits the buffer.
        for (const std::size_t count :
             {std::size_t(0xFFFF), std::size_t(0xFFFD), std::size_t(273)}) {
            EXPECT_EQ(Read(command, count), (Bytes{command, kFailed})) << count << " bytes";
        }
        const Bytes page = Read(command, 272);
        ASSERT_EQ(page.size(), 275u);
        EXPECT_EQ(page[1], kOk);
        EXPECT_EQ(page[2], command == kReadFlash ? 0x00 : 0x40) << "read from address 0";
        EXPECT_EQ(page.back(), kOk);
    }
}

TEST_F(IspMessagesTest, SignatureRowsPastTheThirdByteReadErased) {
    // CMD_READ_SIGNATURE_ISP: answer position, then 30 00 aa 00. The chip decodes two
    // address bits, so 4 and 0xFF are rows 0 and 3 again.
    const std::pair<std::uint8_t, std::uint8_t> rows[] = {{0, 0x1E}, {1, 0x96}, {2, 0x0A},
                                                          {3, 0xFF}, {4, 0x1E}, {0xFF, 0xFF}};
    for (const auto& [address, expected] : rows) {
        EXPECT_EQ(Send({kReadSignature, 4, 0x30, 0x00, address, 0x00}),
                  (Bytes{kReadSignature, kOk, expected, kOk}))
            << "address " << int(address);
        // The same instruction through CMD_SPI_MULTI, as the universal command sends it.
        EXPECT_EQ(Send({kSpiMulti, 4, 4, 0, 0x30, 0x00, address, 0x00}),
                  (Bytes{kSpiMulti, 0x00, 0x00, 0x30, 0x00, expected, kOk}))
            << "address " << int(address);
    }
    // Answer positions outside the four bytes, and SPI_MULTI asking for bytes the chip
    // never sent, answer zeros rather than reading past them.
    EXPECT_EQ(Send({kReadSignature, 9, 0x30, 0x00, 0x00, 0x00}),
              (Bytes{kReadSignature, kOk, 0x00, kOk}));
    const Bytes many = Send({kSpiMulti, 4, 0xFF, 0xFF, 0x30, 0x00, 0x00, 0x00});
    ASSERT_EQ(many.size(), 2u + 0xFF + 1u);
    EXPECT_EQ(many[2], 0x00);
    EXPECT_EQ(many[many.size() - 2], 0x00);
}

#if !defined(_WIN32)
// The real avrdude writing and verifying the production fuses.
class IspEmulatorAvrdudeTest : public test::AvrdudeBench {
  protected:
    void SetUp() override {
        if (!UseRealAvrdude()) GTEST_SKIP() << "Debian's avrdude is not installed";
    }
    // avrdude's exit code; what it said is kept for the failure message.
    int Avrdude(const std::string& operations) {
        const std::string log = dir.File("avrdude.out").string();
        const std::string command =
            "/usr/bin/avrdude -C /etc/avrdude.conf -p m644p -c stk500v2 "
            "-P '" +
            Port() + "' -B100 -q " + operations + " >'" + log + "' 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream in(log);
        said = {std::istreambuf_iterator<char>(in), {}};
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string said;
};

TEST_F(IspEmulatorAvrdudeTest, IgnoredFuseWritesAreAnsweredButAVerifyFindsTheOldValues) {
    const std::string write = "-U lfuse:w:0xf7:m -U hfuse:w:0xd2:m -U efuse:w:0xfc:m -V";
    const std::string verify = "-U lfuse:v:0xf7:m -U hfuse:v:0xd2:m -U efuse:v:0xfc:m";

    StartProgrammer("fuses-ignored");
    EXPECT_EQ(Avrdude(write), 0) << said;
    EXPECT_NE(Avrdude(verify), 0) << said;
    StopProgrammer();
    EXPECT_EQ(Fuses(), test::kFactoryFuses);

    StartProgrammer("none");
    EXPECT_EQ(Avrdude(write), 0) << said;
    EXPECT_EQ(Avrdude(verify), 0) << said;
    StopProgrammer();
    EXPECT_EQ(Fuses(), "lfuse=0xF7 hfuse=0xD2 efuse=0xFC lock=0xFF");
}
#endif

}  // namespace
}  // namespace tq9

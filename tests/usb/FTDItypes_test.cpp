// What each enumeration value hands to the driver, and that stray ordinals get nothing.

#include <gtest/gtest.h>

#include "usb/FTDItypes.h"

namespace tq9 {
namespace {

TEST(FTDItypes, BaudRatesInOrdinalOrder) {
    const std::uint32_t rates[] = {300,   600,   1200,  2400,   4800,   9600,   14400,
                                   19200, 38400, 57600, 115200, 230400, 460800, 921600};
    for (int ordinal = 0; ordinal < 14; ++ordinal) {
        EXPECT_EQ(BaudRateValue(static_cast<fBaudRate>(ordinal)), rates[ordinal]) << ordinal;
    }
    EXPECT_EQ(BaudRateValue(fBaud57600), 57600u);
    EXPECT_FALSE(BaudRateValue(static_cast<fBaudRate>(14)));
    EXPECT_FALSE(BaudRateValue(static_cast<fBaudRate>(255)));
}

TEST(FTDItypes, LineSettingValues) {
    EXPECT_EQ(WordLengthValue(fBits8), 8);
    EXPECT_EQ(WordLengthValue(fBits7), 7);
    EXPECT_FALSE(WordLengthValue(static_cast<fWordLength>(2)));

    EXPECT_EQ(StopBitsValue(fStopBits1), 0);
    EXPECT_EQ(StopBitsValue(fStopBits2), 2) << "FT_STOP_BITS_2 is 2, not 1";
    EXPECT_FALSE(StopBitsValue(static_cast<fStopBits>(2)));

    const fParity parities[] = {fParityNone, fParityOdd, fParityEven, fParityMark, fParitySpace};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ParityValue(parities[i]), i);
    EXPECT_FALSE(ParityValue(static_cast<fParity>(5)));

    EXPECT_EQ(FlowControlValue(fFlowNone), 0x0000);
    EXPECT_EQ(FlowControlValue(fFlowRTSCTS), 0x0100);
    EXPECT_EQ(FlowControlValue(fFlowDTRDSR), 0x0200);
    EXPECT_EQ(FlowControlValue(fFlowXONXOFF), 0x0400);
    EXPECT_FALSE(FlowControlValue(static_cast<fFlowControl>(4)));

    EXPECT_EQ(PurgeMask(fSendQueue), 2u);
    EXPECT_EQ(PurgeMask(fReceiveQueue), 1u);
    EXPECT_EQ(PurgeMask(fAll), 3u);
    EXPECT_FALSE(PurgeMask(static_cast<fQueue>(3)));
}

TEST(FTDItypes, EnumerationsAreOneByte) {
    EXPECT_EQ(sizeof(fBaudRate), 1u);
    EXPECT_EQ(sizeof(fQueue), 1u);
    EXPECT_EQ(sizeof(ftdiDeviceNode), sizeof(void*) == 8 ? 104u : 100u);
}

}  // namespace
}  // namespace tq9

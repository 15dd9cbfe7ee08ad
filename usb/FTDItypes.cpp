#include "usb/FTDItypes.h"

#include <array>

namespace tq9 {

namespace {
template <typename Value, std::size_t N, typename Enum>
std::optional<Value> Lookup(const std::array<Value, N>& table, Enum e) {
    const auto ordinal = static_cast<std::size_t>(e);
    if (ordinal >= N) return std::nullopt;
    return table[ordinal];
}
}  // namespace

std::optional<d2xx::ULONG> BaudRateValue(fBaudRate rate) {
    static constexpr std::array<d2xx::ULONG, 14> kRates = {300,    600,    1200,   2400,  4800,
                                                           9600,   14400,  19200,  38400, 57600,
                                                           115200, 230400, 460800, 921600};
    return Lookup(kRates, rate);
}

std::optional<d2xx::UCHAR> WordLengthValue(fWordLength length) {
    static constexpr std::array<d2xx::UCHAR, 2> kValues = {8, 7};
    return Lookup(kValues, length);
}

std::optional<d2xx::UCHAR> StopBitsValue(fStopBits bits) {
    // FT_STOP_BITS_2 is 2, not 1.
    static constexpr std::array<d2xx::UCHAR, 2> kValues = {0, 2};
    return Lookup(kValues, bits);
}

std::optional<d2xx::UCHAR> ParityValue(fParity parity) {
    static constexpr std::array<d2xx::UCHAR, 5> kValues = {0, 1, 2, 3, 4};
    return Lookup(kValues, parity);
}

std::optional<d2xx::USHORT> FlowControlValue(fFlowControl flow) {
    static constexpr std::array<d2xx::USHORT, 4> kValues = {0x0000, 0x0100, 0x0200, 0x0400};
    return Lookup(kValues, flow);
}

std::optional<d2xx::ULONG> PurgeMask(fQueue queue) {
    // FT_PURGE_TX = 2, FT_PURGE_RX = 1.
    static constexpr std::array<d2xx::ULONG, 3> kValues = {2, 1, 3};
    return Lookup(kValues, queue);
}

std::string d2xx::StatusName(FT_STATUS status) {
    static const char* const kNames[] = {"FT_OK",
                                         "FT_INVALID_HANDLE",
                                         "FT_DEVICE_NOT_FOUND",
                                         "FT_DEVICE_NOT_OPENED",
                                         "FT_IO_ERROR",
                                         "FT_INSUFFICIENT_RESOURCES",
                                         "FT_INVALID_PARAMETER",
                                         "FT_INVALID_BAUD_RATE",
                                         "FT_DEVICE_NOT_OPENED_FOR_ERASE",
                                         "FT_DEVICE_NOT_OPENED_FOR_WRITE",
                                         "FT_FAILED_TO_WRITE_DEVICE",
                                         "FT_EEPROM_READ_FAILED",
                                         "FT_EEPROM_WRITE_FAILED",
                                         "FT_EEPROM_ERASE_FAILED",
                                         "FT_EEPROM_NOT_PRESENT",
                                         "FT_EEPROM_NOT_PROGRAMMED",
                                         "FT_INVALID_ARGS",
                                         "FT_NOT_SUPPORTED",
                                         "FT_OTHER_ERROR",
                                         "FT_DEVICE_LIST_NOT_READY"};
    if (status < sizeof kNames / sizeof kNames[0]) return kNames[status];
    return "status " + std::to_string(status);
}

}  // namespace tq9

#pragma once
// FTDI D2XX ABI types and the device object's enumerations.
// FT_STATUS, DWORD and ULONG are 32-bit unsigned on every platform (FTDI's Linux headers
// define them as unsigned int); FT_HANDLE is a pointer.

#include <cstdint>
#include <optional>
#include <string>

#if defined(_WIN32) && !defined(_WIN64)
#define TQ9_FTAPI __stdcall
#else
#define TQ9_FTAPI
#endif

namespace tq9 {

namespace d2xx {
using FT_STATUS = std::uint32_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using USHORT = std::uint16_t;
using UCHAR = std::uint8_t;
using FT_HANDLE = void*;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

// The driver's name of a status ("FT_DEVICE_NOT_OPENED"), or "status N" for one it does
// not name.
std::string StatusName(FT_STATUS status);

inline constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr ULONG FT_FLAGS_OPENED = 1;
inline constexpr ULONG FT_DEVICE_232R = 5;

inline constexpr USHORT FT_FLOW_NONE = 0x0000;
inline constexpr USHORT FT_FLOW_RTS_CTS = 0x0100;
inline constexpr USHORT FT_FLOW_DTR_DSR = 0x0200;
inline constexpr USHORT FT_FLOW_XON_XOFF = 0x0400;
}  // namespace d2xx

// FT_DEVICE_LIST_INFO_NODE: 100 bytes on 32-bit builds, 104 on 64-bit ones (the handle is
// pointer-sized). Use sizeof, never a literal.
struct ftdiDeviceNode {
    d2xx::ULONG flags;
    d2xx::ULONG deviceType;
    d2xx::ULONG id;
    d2xx::DWORD locid;
    char serialNumber[16];
    char description[64];
    d2xx::FT_HANDLE ftHandle;
};
static_assert(sizeof(ftdiDeviceNode) == 96 + (sizeof(void*) == 8 ? 8 : 4));

// One byte each; ordinals start at 0 in this order. Unscoped so that a stray ordinal can
// still be represented, and refused.
enum fBaudRate : std::uint8_t {
    fBaud300,
    fBaud600,
    fBaud1200,
    fBaud2400,
    fBaud4800,
    fBaud9600,
    fBaud14400,
    fBaud19200,
    fBaud38400,
    fBaud57600,
    fBaud115200,
    fBaud230400,
    fBaud460800,
    fBaud921600,
};
enum fWordLength : std::uint8_t { fBits8, fBits7 };
enum fStopBits : std::uint8_t { fStopBits1, fStopBits2 };
enum fParity : std::uint8_t { fParityNone, fParityOdd, fParityEven, fParityMark, fParitySpace };
enum fFlowControl : std::uint8_t { fFlowNone, fFlowRTSCTS, fFlowDTRDSR, fFlowXONXOFF };
enum fQueue : std::uint8_t { fSendQueue, fReceiveQueue, fAll };

// What the driver is given for each value; nothing for an ordinal outside the enumeration.
std::optional<d2xx::ULONG> BaudRateValue(fBaudRate rate);
std::optional<d2xx::UCHAR> WordLengthValue(fWordLength length);
std::optional<d2xx::UCHAR> StopBitsValue(fStopBits bits);
std::optional<d2xx::UCHAR> ParityValue(fParity parity);
std::optional<d2xx::USHORT> FlowControlValue(fFlowControl flow);
std::optional<d2xx::ULONG> PurgeMask(fQueue queue);

}  // namespace tq9

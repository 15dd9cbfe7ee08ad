// The simulated driver as a shared library with FTDI's D2XX C ABI (libftd2xx.so /
// FTD2XX.DLL), so the unchanged program loads it from its own directory like the real one.
// One bench per process, on the real clock.

#include <memory>

#include "sim/BoardEmulator.h"
#include "sim/SimDriver.h"

#if defined(_WIN32)
#define TQ9_EXPORT extern "C" __declspec(dllexport)
#else
#define TQ9_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
using namespace tq9::sim;

struct Bench {
    RealClock clock;
    SimDriver driver{clock};
    Bench() {
        driver.AddCable("TQ9A0001", "TTL232R-5V", std::make_shared<BoardEmulator>());
        driver.AddCable("FT5X2K9Q", "FT232R USB UART");
    }
};

SimDriver& Driver() {
    static Bench bench;
    return bench.driver;
}
}  // namespace

TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_CreateDeviceInfoList(DWORD* numDevs) {
    return Driver().CreateDeviceInfoList(numDevs);
}
TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_GetDeviceInfoList(tq9::ftdiDeviceNode* dest, DWORD* numDevs) {
    return Driver().GetDeviceInfoList(dest, numDevs);
}
TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) {
    return Driver().OpenEx(arg, flags, handle);
}
TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_Close(FT_HANDLE handle) {
    return Driver().Close(handle);
}
TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_ResetDevice(FT_HANDLE handle) {
    return Driver().ResetDevice(handle);
}
TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_SetBaudRate(FT_HANDLE handle, ULONG baud) {
    return Driver().SetBaudRate(handle, baud);
}
TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR length, UCHAR stop,
                                                         UCHAR parity) {
    return Driver().SetDataCharacteristics(handle, length, stop, parity);
}
TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_SetFlowControl(FT_HANDLE handle, USHORT flow, UCHAR xon,
                                                 UCHAR xoff) {
    return Driver().SetFlowControl(handle, flow, xon, xoff);
}
TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_Purge(FT_HANDLE handle, ULONG mask) {
    return Driver().Purge(handle, mask);
}
TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) {
    return Driver().GetQueueStatus(handle, rxBytes);
}
TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_Read(FT_HANDLE handle, void* buffer, DWORD toRead, DWORD* got) {
    return Driver().Read(handle, buffer, toRead, got);
}
TQ9_EXPORT FT_STATUS TQ9_FTAPI FT_Write(FT_HANDLE handle, void* buffer, DWORD toWrite,
                                        DWORD* written) {
    return Driver().Write(handle, buffer, toWrite, written);
}

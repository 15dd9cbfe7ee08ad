// Exports two of the twelve D2XX functions and nothing else.
#include "usb/FTDItypes.h"

#if defined(_WIN32)
#define PARTIAL_EXPORT extern "C" __declspec(dllexport)
#else
#define PARTIAL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PARTIAL_EXPORT tq9::d2xx::FT_STATUS TQ9_FTAPI FT_CreateDeviceInfoList(tq9::d2xx::DWORD* n) {
    *n = 0;
    return 0;
}
PARTIAL_EXPORT tq9::d2xx::FT_STATUS TQ9_FTAPI FT_Close(tq9::d2xx::FT_HANDLE) {
    return 0;
}

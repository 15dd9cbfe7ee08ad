#pragma once
// The twelve D2XX functions the tool calls, listed once. Everything that names them one by
// one is made from this list: the function table, the loader's look-ups, the forwarding
// table of our own driver layers, the simulated driver's exports and the export check.
//
//   X(exported name, driver-class member, (parameters), (arguments))
//
// Parameter types are FTDI's (DWORD, ULONG, UCHAR, USHORT, FT_HANDLE, ftdiDeviceNode); an
// expansion site has them in scope. Every function returns FT_STATUS.

// clang-format off
#define TQ9_D2XX_FUNCTIONS(X)                                                                 \
    X(FT_CreateDeviceInfoList, CreateDeviceInfoList, (DWORD* numDevs), (numDevs))            \
    X(FT_GetDeviceInfoList, GetDeviceInfoList, (ftdiDeviceNode* dest, DWORD* numDevs),       \
      (dest, numDevs))                                                                        \
    X(FT_OpenEx, OpenEx, (void* arg1, DWORD flags, FT_HANDLE* handle), (arg1, flags, handle)) \
    X(FT_Close, Close, (FT_HANDLE handle), (handle))                                          \
    X(FT_ResetDevice, ResetDevice, (FT_HANDLE handle), (handle))                              \
    X(FT_SetBaudRate, SetBaudRate, (FT_HANDLE handle, ULONG baudRate), (handle, baudRate))    \
    X(FT_SetDataCharacteristics, SetDataCharacteristics,                                      \
      (FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity),                     \
      (handle, wordLength, stopBits, parity))                                                 \
    X(FT_SetFlowControl, SetFlowControl,                                                      \
      (FT_HANDLE handle, USHORT flowControl, UCHAR xon, UCHAR xoff),                          \
      (handle, flowControl, xon, xoff))                                                       \
    X(FT_Purge, Purge, (FT_HANDLE handle, ULONG mask), (handle, mask))                        \
    X(FT_GetQueueStatus, GetQueueStatus, (FT_HANDLE handle, DWORD* rxBytes),                  \
      (handle, rxBytes))                                                                      \
    X(FT_Read, Read, (FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesRead),   \
      (handle, buffer, bytesToRead, bytesRead))                                               \
    X(FT_Write, Write,                                                                        \
      (FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten),              \
      (handle, buffer, bytesToWrite, bytesWritten))
// clang-format on

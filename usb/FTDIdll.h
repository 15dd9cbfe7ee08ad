#pragma once
// The D2XX driver's functions, reached only through this table of pointers with FTDI's C
// signatures. Sources: the real driver library loaded at run time (D2xxLibrary), or the
// simulated driver, linked in directly by tests.

#include <memory>
#include <string>

#include "usb/FTDItypes.h"

namespace tq9 {

struct FTDIdll {
    using FT_STATUS = d2xx::FT_STATUS;
    using DWORD = d2xx::DWORD;
    using ULONG = d2xx::ULONG;
    using FT_HANDLE = d2xx::FT_HANDLE;

    FT_STATUS(TQ9_FTAPI* FT_CreateDeviceInfoList)(DWORD* numDevs) = nullptr;
    FT_STATUS(TQ9_FTAPI* FT_GetDeviceInfoList)(ftdiDeviceNode* dest, DWORD* numDevs) = nullptr;
    FT_STATUS(TQ9_FTAPI* FT_OpenEx)(void* arg1, DWORD flags, FT_HANDLE* handle) = nullptr;
    FT_STATUS(TQ9_FTAPI* FT_Close)(FT_HANDLE handle) = nullptr;
    FT_STATUS(TQ9_FTAPI* FT_ResetDevice)(FT_HANDLE handle) = nullptr;
    FT_STATUS(TQ9_FTAPI* FT_SetBaudRate)(FT_HANDLE handle, ULONG baudRate) = nullptr;
    FT_STATUS(TQ9_FTAPI* FT_SetDataCharacteristics)
    (FT_HANDLE handle, d2xx::UCHAR wordLength, d2xx::UCHAR stopBits, d2xx::UCHAR parity) = nullptr;
    FT_STATUS(TQ9_FTAPI* FT_SetFlowControl)
    (FT_HANDLE handle, d2xx::USHORT flowControl, d2xx::UCHAR xon, d2xx::UCHAR xoff) = nullptr;
    FT_STATUS(TQ9_FTAPI* FT_Purge)(FT_HANDLE handle, ULONG mask) = nullptr;
    FT_STATUS(TQ9_FTAPI* FT_GetQueueStatus)(FT_HANDLE handle, DWORD* rxBytes) = nullptr;
    FT_STATUS(TQ9_FTAPI* FT_Read)
    (FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned) = nullptr;
    FT_STATUS(TQ9_FTAPI* FT_Write)
    (FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten) = nullptr;
};

// Every call of this table fails (FT_OTHER_ERROR): the device object uses it while no
// driver library could be loaded, so listing fails cleanly instead of crashing.
const FTDIdll& UnavailableDriverTable();

// The driver library's file name on this platform: FTD2XX.DLL or libftd2xx.so.
const char* D2xxLibraryName();

class LibFtdiDriver;

// The driver behind the device object. A driver library is resolved whole or not at all:
// all twelve functions found, or a clear reason naming every place tried. Where no D2XX
// library is found and libftdi1 is built in, the table is our own layer over libftdi1.
// The table stays valid while this object lives.
class D2xxLibrary {
  public:
    // Searches the program's directory first (as Windows does for DLLs), then the
    // system's library path, then (useLibFtdi) libftdi1. programDirectory ends with a path
    // separator, or is empty.
    static std::unique_ptr<D2xxLibrary> Load(const std::string& programDirectory,
                                             bool useLibFtdi = true);
    ~D2xxLibrary();
    D2xxLibrary(const D2xxLibrary&) = delete;
    D2xxLibrary& operator=(const D2xxLibrary&) = delete;

    bool Loaded() const { return handle_ != nullptr || libftdi_ != nullptr; }
    // The loaded functions, or UnavailableDriverTable() when nothing was loaded.
    const FTDIdll& Table() const;
    // What the driver found wrong with the cables in its last listing or open (no
    // permission, say), in words for the operator; empty when nothing.
    std::string Notes() const;
    // Where the library came from (empty when not loaded).
    const std::string& LoadedFrom() const { return loadedFrom_; }
    // Why nothing was loaded, naming each place tried (empty when loaded).
    const std::string& FailureReason() const { return failureReason_; }

  private:
    D2xxLibrary() = default;
    bool TryLoad(const std::string& path, std::string& whyNot);

    void* handle_ = nullptr;
    FTDIdll table_;
    std::unique_ptr<LibFtdiDriver> libftdi_;
    std::string loadedFrom_;
    std::string failureReason_;
};

// Platform part of the loader (FTDIdll_posix.cpp / FTDIdll_win.cpp).
namespace dynlib {
void* Open(const std::string& path, std::string& error);
void* Symbol(void* library, const char* name);
void Close(void* library);
}  // namespace dynlib

}  // namespace tq9

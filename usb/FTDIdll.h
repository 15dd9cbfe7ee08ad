#pragma once
// The D2XX driver's functions, reached only through this table of pointers with FTDI's C
// signatures, and the driver sources that fill it: FTDI's library loaded at run time, the
// tool's own layers over other driver stacks, or the simulated driver linked in by tests.

#include <memory>
#include <string>
#include <vector>

#include "usb/D2xxFunctions.h"
#include "usb/FTDItypes.h"

namespace tq9 {

struct FTDIdll {
    using FT_STATUS = d2xx::FT_STATUS;
    using DWORD = d2xx::DWORD;
    using ULONG = d2xx::ULONG;
    using USHORT = d2xx::USHORT;
    using UCHAR = d2xx::UCHAR;
    using FT_HANDLE = d2xx::FT_HANDLE;

#define TQ9_D2XX_SLOT(name, member, params, args) FT_STATUS(TQ9_FTAPI* name) params = nullptr;
    TQ9_D2XX_FUNCTIONS(TQ9_D2XX_SLOT)
#undef TQ9_D2XX_SLOT
};

// The functions' names, in the table's order.
inline constexpr const char* kD2xxFunctionNames[] = {
#define TQ9_D2XX_NAME(name, member, params, args) #name,
    TQ9_D2XX_FUNCTIONS(TQ9_D2XX_NAME)
#undef TQ9_D2XX_NAME
};

// Every call of this table fails (FT_OTHER_ERROR): the device object uses it while no
// driver could be loaded, so listing fails cleanly instead of crashing.
const FTDIdll& UnavailableDriverTable();

// The driver library's file name on this platform: FTD2XX.DLL or libftd2xx.so.
const char* D2xxLibraryName();

// A driver one source found: its table, valid while this object lives.
class LoadedDriver {
  public:
    virtual ~LoadedDriver() = default;
    virtual const FTDIdll& Table() const = 0;
    // Where it came from: the library's path, or the name of our own layer.
    virtual std::string Origin() const = 0;
    // What the driver found wrong with the cables in its last listing or open (no
    // permission, say), in words for the operator; empty when nothing.
    virtual std::string Notes() const { return {}; }
};

// What the sources may look at.
struct DriverSearch {
    std::string programDirectory;  // ends with a path separator, or is empty
    bool useOwnLayers = true;      // false: FTDI's library only
};

// One way to reach a cable. `open` returns the driver, or null with `whyNot` saying where
// it looked and what it found ("in the program's directory (...)"); a source that does
// not apply returns null and leaves `whyNot` empty.
struct DriverSource {
    const char* name;
    std::unique_ptr<LoadedDriver> (*open)(const DriverSearch& search, std::string& whyNot);
};

// The sources, tried in this order (usb/DriverSources.cpp).
const std::vector<DriverSource>& DriverSources();

// FTDI's library, resolved whole or not at all: all twelve functions found, or why not
// (the ones it lacks). `path` is a file path or a bare name for the system's search.
std::unique_ptr<LoadedDriver> OpenD2xxLibrary(const std::string& path, std::string& whyNot);

// The driver behind the device object: the first source that opens. The table stays
// valid while this object lives.
class D2xxLibrary {
  public:
    static std::unique_ptr<D2xxLibrary> Load(const std::string& programDirectory,
                                             bool useOwnLayers = true);
    D2xxLibrary(const D2xxLibrary&) = delete;
    D2xxLibrary& operator=(const D2xxLibrary&) = delete;

    bool Loaded() const { return driver_ != nullptr; }
    // The loaded functions, or UnavailableDriverTable() when nothing was loaded.
    const FTDIdll& Table() const;
    std::string Notes() const { return driver_ ? driver_->Notes() : std::string(); }
    // Where the driver came from (empty when not loaded).
    const std::string& LoadedFrom() const { return loadedFrom_; }
    // The name of the source that won (empty when not loaded).
    const std::string& Source() const { return source_; }
    // Why nothing was loaded, naming each place tried (empty when loaded).
    const std::string& FailureReason() const { return failureReason_; }
    // For the console: the source in use and why the ones before it were not ("FTDI
    // driver: kernel tty (...); not used: in the program's directory (...)"); empty when
    // nothing was loaded, which FailureReason explains.
    std::string InUseLine() const;

  private:
    D2xxLibrary() = default;

    std::unique_ptr<LoadedDriver> driver_;
    std::string loadedFrom_;
    std::string source_;
    std::string failureReason_;
    std::string passedOver_;  // the sources tried before the one in use, and why not
};

// Platform part of the loader (FTDIdll_posix.cpp / FTDIdll_win.cpp).
namespace dynlib {
void* Open(const std::string& path, std::string& error);
void* Symbol(void* library, const char* name);
void Close(void* library);
}  // namespace dynlib

}  // namespace tq9

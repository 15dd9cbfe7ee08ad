#include "usb/FTDIdll.h"

#include "usb/libftdi/LibFtdiDriver.h"

#include <vector>

namespace tq9 {

namespace {
using namespace d2xx;

FT_STATUS TQ9_FTAPI NoCreateDeviceInfoList(DWORD*) {
    return FT_OTHER_ERROR;
}
FT_STATUS TQ9_FTAPI NoGetDeviceInfoList(ftdiDeviceNode*, DWORD*) {
    return FT_OTHER_ERROR;
}
FT_STATUS TQ9_FTAPI NoOpenEx(void*, DWORD, FT_HANDLE*) {
    return FT_OTHER_ERROR;
}
FT_STATUS TQ9_FTAPI NoHandleCall(FT_HANDLE) {
    return FT_OTHER_ERROR;
}
FT_STATUS TQ9_FTAPI NoSetBaudRate(FT_HANDLE, ULONG) {
    return FT_OTHER_ERROR;
}
FT_STATUS TQ9_FTAPI NoSetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) {
    return FT_OTHER_ERROR;
}
FT_STATUS TQ9_FTAPI NoSetFlowControl(FT_HANDLE, USHORT, UCHAR, UCHAR) {
    return FT_OTHER_ERROR;
}
FT_STATUS TQ9_FTAPI NoPurge(FT_HANDLE, ULONG) {
    return FT_OTHER_ERROR;
}
FT_STATUS TQ9_FTAPI NoGetQueueStatus(FT_HANDLE, DWORD*) {
    return FT_OTHER_ERROR;
}
FT_STATUS TQ9_FTAPI NoTransfer(FT_HANDLE, void*, DWORD, DWORD*) {
    return FT_OTHER_ERROR;
}

// Binds one table entry to the library symbol of the same name.
template <typename Fn>
bool Bind(void* library, const char* name, Fn& slot, std::vector<std::string>& missing) {
    void* symbol = dynlib::Symbol(library, name);
    if (!symbol) {
        missing.emplace_back(name);
        return false;
    }
    slot = reinterpret_cast<Fn>(symbol);
    return true;
}
}  // namespace

const FTDIdll& UnavailableDriverTable() {
    static const FTDIdll table = [] {
        FTDIdll t;
        t.FT_CreateDeviceInfoList = NoCreateDeviceInfoList;
        t.FT_GetDeviceInfoList = NoGetDeviceInfoList;
        t.FT_OpenEx = NoOpenEx;
        t.FT_Close = NoHandleCall;
        t.FT_ResetDevice = NoHandleCall;
        t.FT_SetBaudRate = NoSetBaudRate;
        t.FT_SetDataCharacteristics = NoSetDataCharacteristics;
        t.FT_SetFlowControl = NoSetFlowControl;
        t.FT_Purge = NoPurge;
        t.FT_GetQueueStatus = NoGetQueueStatus;
        t.FT_Read = NoTransfer;
        t.FT_Write = NoTransfer;
        return t;
    }();
    return table;
}

std::unique_ptr<D2xxLibrary> D2xxLibrary::Load(const std::string& programDirectory,
                                               bool useLibFtdi) {
    std::unique_ptr<D2xxLibrary> lib(new D2xxLibrary);
    const std::string name = D2xxLibraryName();
    std::string tried;
    if (!programDirectory.empty()) {
        const std::string path = programDirectory + name;
        std::string whyNot;
        if (lib->TryLoad(path, whyNot)) {
            lib->loadedFrom_ = path;
            return lib;
        }
        tried = "in the program's directory (" + path + ": " + whyNot + ") and ";
    }
    std::string whyNot;
    if (lib->TryLoad(name, whyNot)) {
        lib->loadedFrom_ = name;
        return lib;
    }
    tried += "on the system library path (" + whyNot + ")";
    if (useLibFtdi && LibFtdiBuiltIn()) {
        lib->libftdi_ = std::make_unique<LibFtdiDriver>(SystemLibFtdi());
        lib->loadedFrom_ = "libftdi1";
        return lib;
    }
    lib->failureReason_ = "The FTDI driver library " + name +
                          " could not be loaded. It was looked for " + tried + ".";
    return lib;
}

bool D2xxLibrary::TryLoad(const std::string& path, std::string& whyNot) {
    void* library = dynlib::Open(path, whyNot);
    if (!library) return false;

    FTDIdll t;
    std::vector<std::string> missing;
    Bind(library, "FT_CreateDeviceInfoList", t.FT_CreateDeviceInfoList, missing);
    Bind(library, "FT_GetDeviceInfoList", t.FT_GetDeviceInfoList, missing);
    Bind(library, "FT_OpenEx", t.FT_OpenEx, missing);
    Bind(library, "FT_Close", t.FT_Close, missing);
    Bind(library, "FT_ResetDevice", t.FT_ResetDevice, missing);
    Bind(library, "FT_SetBaudRate", t.FT_SetBaudRate, missing);
    Bind(library, "FT_SetDataCharacteristics", t.FT_SetDataCharacteristics, missing);
    Bind(library, "FT_SetFlowControl", t.FT_SetFlowControl, missing);
    Bind(library, "FT_Purge", t.FT_Purge, missing);
    Bind(library, "FT_GetQueueStatus", t.FT_GetQueueStatus, missing);
    Bind(library, "FT_Read", t.FT_Read, missing);
    Bind(library, "FT_Write", t.FT_Write, missing);
    if (!missing.empty()) {
        whyNot = "lacks";
        for (const auto& name : missing)
            whyNot += " " + name;
        dynlib::Close(library);
        return false;
    }
    handle_ = library;
    table_ = t;
    return true;
}

D2xxLibrary::~D2xxLibrary() {
    if (handle_) dynlib::Close(handle_);
}

const FTDIdll& D2xxLibrary::Table() const {
    if (handle_) return table_;
    if (libftdi_) return LibFtdiDriver::Table();
    return UnavailableDriverTable();
}

std::string D2xxLibrary::Notes() const {
    return libftdi_ ? libftdi_->Notes() : std::string();
}

}  // namespace tq9

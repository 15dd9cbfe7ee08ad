#pragma once
// A D2XX function table whose functions forward to the one live object of a driver class
// (the simulated driver, the layer over libftdi1). The C signatures carry no context, so
// Driver::Active() names the object; Driver has the twelve calls as member functions.

#include <stdexcept>

#include "usb/FTDIdll.h"

namespace tq9 {

template <typename Driver>
class ForwardingTable {
    using FT_STATUS = d2xx::FT_STATUS;
    using DWORD = d2xx::DWORD;
    using ULONG = d2xx::ULONG;
    using USHORT = d2xx::USHORT;
    using UCHAR = d2xx::UCHAR;
    using FT_HANDLE = d2xx::FT_HANDLE;

    static Driver& Live() {
        Driver* driver = Driver::Active();
        if (!driver) throw std::logic_error("the driver behind this table does not exist");
        return *driver;
    }
    static FT_STATUS TQ9_FTAPI CreateDeviceInfoList(DWORD* n) {
        return Live().CreateDeviceInfoList(n);
    }
    static FT_STATUS TQ9_FTAPI GetDeviceInfoList(ftdiDeviceNode* d, DWORD* n) {
        return Live().GetDeviceInfoList(d, n);
    }
    static FT_STATUS TQ9_FTAPI OpenEx(void* a, DWORD f, FT_HANDLE* h) {
        return Live().OpenEx(a, f, h);
    }
    static FT_STATUS TQ9_FTAPI Close(FT_HANDLE h) { return Live().Close(h); }
    static FT_STATUS TQ9_FTAPI ResetDevice(FT_HANDLE h) { return Live().ResetDevice(h); }
    static FT_STATUS TQ9_FTAPI SetBaudRate(FT_HANDLE h, ULONG b) {
        return Live().SetBaudRate(h, b);
    }
    static FT_STATUS TQ9_FTAPI SetDataCharacteristics(FT_HANDLE h, UCHAR l, UCHAR s, UCHAR p) {
        return Live().SetDataCharacteristics(h, l, s, p);
    }
    static FT_STATUS TQ9_FTAPI SetFlowControl(FT_HANDLE h, USHORT f, UCHAR on, UCHAR off) {
        return Live().SetFlowControl(h, f, on, off);
    }
    static FT_STATUS TQ9_FTAPI Purge(FT_HANDLE h, ULONG m) { return Live().Purge(h, m); }
    static FT_STATUS TQ9_FTAPI GetQueueStatus(FT_HANDLE h, DWORD* n) {
        return Live().GetQueueStatus(h, n);
    }
    static FT_STATUS TQ9_FTAPI Read(FT_HANDLE h, void* b, DWORD n, DWORD* got) {
        return Live().Read(h, b, n, got);
    }
    static FT_STATUS TQ9_FTAPI Write(FT_HANDLE h, void* b, DWORD n, DWORD* put) {
        return Live().Write(h, b, n, put);
    }

  public:
    static const FTDIdll& Get() {
        static const FTDIdll table = [] {
            FTDIdll t;
            t.FT_CreateDeviceInfoList = CreateDeviceInfoList;
            t.FT_GetDeviceInfoList = GetDeviceInfoList;
            t.FT_OpenEx = OpenEx;
            t.FT_Close = Close;
            t.FT_ResetDevice = ResetDevice;
            t.FT_SetBaudRate = SetBaudRate;
            t.FT_SetDataCharacteristics = SetDataCharacteristics;
            t.FT_SetFlowControl = SetFlowControl;
            t.FT_Purge = Purge;
            t.FT_GetQueueStatus = GetQueueStatus;
            t.FT_Read = Read;
            t.FT_Write = Write;
            return t;
        }();
        return table;
    }
};

}  // namespace tq9

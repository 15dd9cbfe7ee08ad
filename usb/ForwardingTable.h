#pragma once
// A D2XX function table whose functions forward to the one live object of a driver class
// (the simulated driver, the layer over libftdi1). The C signatures carry no context, so
// Driver::Active() names the object; Driver has the twelve calls as member functions
// (TQ9_D2XX_MEMBER_FUNCTIONS declares them).

#include <stdexcept>

#include "usb/FTDIdll.h"

// The twelve calls as a driver class's member functions, with the D2XX type names they
// use, declared in the class body.
#define TQ9_D2XX_MEMBER_DECLARATION(name, member, params, args) FT_STATUS member params;
#define TQ9_D2XX_MEMBER_FUNCTIONS             \
    using FT_STATUS = ::tq9::d2xx::FT_STATUS; \
    using DWORD = ::tq9::d2xx::DWORD;         \
    using ULONG = ::tq9::d2xx::ULONG;         \
    using USHORT = ::tq9::d2xx::USHORT;       \
    using UCHAR = ::tq9::d2xx::UCHAR;         \
    using FT_HANDLE = ::tq9::d2xx::FT_HANDLE; \
    TQ9_D2XX_FUNCTIONS(TQ9_D2XX_MEMBER_DECLARATION)

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
#define TQ9_D2XX_FORWARD(name, member, params, args) \
    static FT_STATUS TQ9_FTAPI member params {       \
        return Live().member args;                   \
    }
    TQ9_D2XX_FUNCTIONS(TQ9_D2XX_FORWARD)
#undef TQ9_D2XX_FORWARD

  public:
    static const FTDIdll& Get() {
        static const FTDIdll table = [] {
            FTDIdll t;
#define TQ9_D2XX_ENTRY(name, member, params, args) t.name = member;
            TQ9_D2XX_FUNCTIONS(TQ9_D2XX_ENTRY)
#undef TQ9_D2XX_ENTRY
            return t;
        }();
        return table;
    }
};

}  // namespace tq9

#pragma once
// The board link: the one FTDI cable the tool talks through, how it is found and opened,
// and which COM port number it occupies.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "link/ComPort.h"
#include "usb/FTDIchip.h"
#include "usb/FTDIdll.h"

namespace tq9 {

inline constexpr std::int32_t kMaxDevices = 16;
inline constexpr std::int32_t kComPortCount = 32;

struct TBoardLink {
    std::unique_ptr<tftdichip> device;
    // True once OpenDeviceByIndex has opened and configured the device; the flag other
    // operations consult (not the device object's own).
    bool connected = false;
    std::uint32_t deviceCount = 0;
    std::array<std::string, kMaxDevices> serials;
    std::array<std::string, kMaxDevices> descriptions;
    std::int32_t selectedIndex = -1;
    std::int32_t comNumber = 0;
    std::array<std::int32_t, kComPortCount> comProbe{};
    // Why the last OpenDeviceByIndex failed at the driver ("FT_DEVICE_NOT_OPENED"); empty
    // when it did not get that far or did not fail.
    std::string openRefusal;

    // Where new device objects get their driver; must outlive the link.
    const FTDIdll* driver = &UnavailableDriverTable();
    PortNamer portName;
};

void SnapshotComPorts(TBoardLink& link);
// Sets comNumber to the lowest port whose probe result differs from the snapshot; keeps
// it when none does.
void DetectComNumber(TBoardLink& link);
void BuildDeviceList(TBoardLink& link, std::string& statusText);
void OpenDeviceByIndex(TBoardLink& link, std::int32_t index, std::string& statusText);
// Closes the device when the link is connected, and marks it not connected. The device
// object (with its listing) stays; whoever ends the run releases it.
void CloseLink(TBoardLink& link);

inline constexpr const char* kStatusListFailed = "### ERROR: Failed to create device info list";
inline constexpr const char* kStatusListed = "### FTDI Device list created";
inline constexpr const char* kStatusNotPresent = "### ERROR: Device not present";
inline constexpr const char* kStatusOpenFailed = "### ERROR: Failed to open device";
inline constexpr const char* kStatusResetFailed = "### ERROR: Reset failed";
inline constexpr const char* kStatusConnected = "### USB connected";
inline constexpr const char* kStatusNoDeviceObject = "### ERROR: No device list";
inline constexpr const char* kStatusBadIndex = "### ERROR: Device index out of range";

}  // namespace tq9

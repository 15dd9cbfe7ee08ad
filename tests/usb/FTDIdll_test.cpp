// The run-time loader: search order, whole-or-nothing resolution, and the simulated
// driver library driven through the product's own device object (proves the C ABI).

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "link/tq9_com.h"
#include "support/TempDir.h"
#include "usb/FTDIchip.h"
#include "usb/FTDIdll.h"
#include "usb/libftdi/LibFtdiDriver.h"
#include "usb/tty/KernelTtyDriver.h"

namespace tq9 {
namespace {

namespace fs = std::filesystem;

class DriverLoaderTest : public ::testing::Test {
  protected:
    void Place(const char* builtLibrary) {
        fs::copy_file(builtLibrary, programDir.File(D2xxLibraryName()));
    }
    // A real driver installed on this machine would be found on the system path.
    static bool SystemHasADriver() {
        test::TempDir empty;
        return D2xxLibrary::Load(empty.WithSeparator(), false)->Loaded();
    }

    test::TempDir programDir;
};

TEST_F(DriverLoaderTest, SimulatedLibraryFromTheProgramDirectoryListsOpensAndTalks) {
    Place(TQ9_SIM_DRIVER_PATH);
    auto lib = D2xxLibrary::Load(programDir.WithSeparator());
    ASSERT_TRUE(lib->Loaded()) << lib->FailureReason();
    EXPECT_EQ(lib->LoadedFrom(), programDir.WithSeparator() + D2xxLibraryName());
    EXPECT_TRUE(lib->FailureReason().empty());

    tftdichip chip(lib->Table());
    d2xx::DWORD count = 0;
    std::vector<ftdiDeviceNode> nodes;
    ASSERT_TRUE(chip.createDeviceInfoList(count, nodes));
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(nodes[0].serialNumber, "TQ9A0001");
    EXPECT_STREQ(nodes[1].description, "FT232R USB UART");

    ASSERT_TRUE(chip.openDeviceBySerial("TQ9A0001"));
    EXPECT_TRUE(chip.resetDevice());
    EXPECT_TRUE(chip.setBaudRate(fBaud57600));
    EXPECT_TRUE(chip.setDataCharacteristics(fBits8, fStopBits1, fParityNone));
    EXPECT_TRUE(chip.setFlowControl(fFlowNone, 0, 0));
    EXPECT_TRUE(chip.purgeQueue(fReceiveQueue));

    const std::string line = "9952?\r";
    std::int32_t written = 0;
    ASSERT_TRUE(chip.write(reinterpret_cast<const std::uint8_t*>(line.data()), 6, written));
    EXPECT_EQ(written, 6);

    // The emulated board answers on the real clock in about 3 ms; give it a generous bound.
    std::string echoed;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((echoed.empty() || echoed.back() != '\r') && std::chrono::steady_clock::now() < giveUp) {
        std::int32_t waiting = 0;
        if (chip.getReceiveQueueStatus(waiting) && waiting > 0) {
            std::uint8_t byte = 0;
            std::int32_t got = 0;
            ASSERT_TRUE(chip.read(&byte, 1, got));
            echoed += static_cast<char>(byte);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    EXPECT_EQ(echoed, "9952=12345\r");
    chip.closeDevice();
}

TEST_F(DriverLoaderTest, NoLibraryAnywhereIsReportedAndListingFailsCleanly) {
    if (SystemHasADriver()) GTEST_SKIP() << "a D2XX driver is installed on this machine";
    auto lib = D2xxLibrary::Load(programDir.WithSeparator(), false);
    ASSERT_FALSE(lib->Loaded());
    const std::string& why = lib->FailureReason();
    EXPECT_NE(why.find(programDir.WithSeparator() + D2xxLibraryName()), std::string::npos) << why;
    EXPECT_NE(why.find("system library path"), std::string::npos) << why;

    TBoardLink link;
    link.driver = &lib->Table();
    std::string status;
    BuildDeviceList(link, status);
    EXPECT_EQ(status, "### ERROR: Failed to create device info list");
    EXPECT_EQ(link.device, nullptr);
    EXPECT_EQ(link.deviceCount, 0u);
}

TEST_F(DriverLoaderTest, LibraryLackingFunctionsIsNotUsedAndTheMissingOnesAreNamed) {
    if (SystemHasADriver()) GTEST_SKIP() << "a D2XX driver is installed on this machine";
    Place(TQ9_PARTIAL_DRIVER_PATH);
    auto lib = D2xxLibrary::Load(programDir.WithSeparator(), false);
    ASSERT_FALSE(lib->Loaded());
    const std::string& why = lib->FailureReason();
    for (const char* missing : {"FT_GetDeviceInfoList", "FT_OpenEx", "FT_Write"}) {
        EXPECT_NE(why.find(missing), std::string::npos) << missing << " not named in: " << why;
    }
    EXPECT_EQ(why.find("FT_Close"), std::string::npos) << "FT_Close is there: " << why;
    d2xx::DWORD count = 0;
    std::vector<ftdiDeviceNode> nodes;
    EXPECT_FALSE(tftdichip(lib->Table()).createDeviceInfoList(count, nodes));
}

// Where the kernel has its FTDI driver the tty layer serves, else libftdi1.
std::string OwnLayerExpectedHere() {
    return KernelFtdiDriverPresent() ? "kernel tty" : LibFtdiBuiltIn() ? "libftdi1" : "";
}

TEST_F(DriverLoaderTest, WithoutAnyD2xxLibraryOurOwnLayerTakesOver) {
    if (SystemHasADriver()) GTEST_SKIP() << "a D2XX driver is installed on this machine";
    if (OwnLayerExpectedHere().empty()) GTEST_SKIP() << "no kernel driver, no libftdi1";
    auto lib = D2xxLibrary::Load(programDir.WithSeparator());
    ASSERT_TRUE(lib->Loaded());
    EXPECT_EQ(lib->Source(), OwnLayerExpectedHere());
    EXPECT_TRUE(lib->FailureReason().empty());
    // No cable on this machine: listing may find none, or fail without a USB bus; either
    // way the device flow reports that no cable was found.
    TBoardLink link;
    link.driver = &lib->Table();
    std::string status;
    BuildDeviceList(link, status);
    EXPECT_EQ(link.deviceCount, 0u);
}

TEST_F(DriverLoaderTest, SourcesAreTriedInOrderAndTheOneThatWonIsNamed) {
    const auto& sources = DriverSources();
    ASSERT_GE(sources.size(), 3u);
    Place(TQ9_SIM_DRIVER_PATH);
    EXPECT_EQ(D2xxLibrary::Load(programDir.WithSeparator())->Source(), sources[0].name);

    if (SystemHasADriver()) GTEST_SKIP() << "a D2XX driver is installed on this machine";
    test::TempDir empty;
    const auto none = D2xxLibrary::Load(empty.WithSeparator(), false);
    EXPECT_TRUE(none->Source().empty());
    const std::string& why = none->FailureReason();
    EXPECT_LT(why.find("in the program's directory"), why.find("on the system library path"))
        << why;
    if (!OwnLayerExpectedHere().empty()) {
        EXPECT_EQ(D2xxLibrary::Load(empty.WithSeparator())->Source(), OwnLayerExpectedHere());
    }
}

// A broken FTDI library beside the program is passed over, and the line the console shows
// says which source is in use and why the broken one was not.
TEST_F(DriverLoaderTest, ABrokenLibraryPassedOverIsNamedInTheLineOnTheDriverInUse) {
    Place(TQ9_SIM_DRIVER_PATH);
    const std::string used = D2xxLibrary::Load(programDir.WithSeparator())->InUseLine();
    EXPECT_EQ(used, "FTDI driver: FTDI D2XX (program directory) (" +
                        programDir.File(D2xxLibraryName()).string() + ")");

    if (SystemHasADriver()) GTEST_SKIP() << "a D2XX driver is installed on this machine";
    if (OwnLayerExpectedHere().empty()) GTEST_SKIP() << "no kernel driver, no libftdi1";
    fs::remove(programDir.File(D2xxLibraryName()));
    std::ofstream(programDir.File(D2xxLibraryName())) << "not a library";
    const auto lib = D2xxLibrary::Load(programDir.WithSeparator());
    ASSERT_TRUE(lib->Loaded());
    const std::string line = lib->InUseLine();
    EXPECT_EQ(line.rfind("FTDI driver: " + OwnLayerExpectedHere() + " (", 0), 0u) << line;
    const std::string broken = "not used: in the program's directory (" +
                               programDir.File(D2xxLibraryName()).string() + ": ";
    EXPECT_NE(line.find(broken), std::string::npos) << line;
    EXPECT_NE(line.find("on the system library path ("), std::string::npos) << line;
    EXPECT_EQ(D2xxLibrary::Load(programDir.WithSeparator(), false)->InUseLine(), "");
}

}  // namespace
}  // namespace tq9

#pragma once
// The product's path to a board in real time, over a real serial stack: the device flow,
// Reset TQ9, a scan-core upload and Close, as the window's buttons run them. A test picks
// the driver (the kernel tty layer, the libftdi1 layer) and where COM ports are probed.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "board/BoardInfo.h"
#include "board/DeviceFlow.h"
#include "board/ScanCoreUpload.h"
#include "board/ScanCores.h"
#include "sim/BoardEmulator.h"
#include "sim/LiveHost.h"
#include "support/TempDir.h"

namespace tq9::test {

class LiveBoardBench : public ::testing::Test {
  protected:
    LiveBoardBench() { ctx.ProgramDirectory = dir.WithSeparator(); }
    ~LiveBoardBench() override { Shut(); }
    // Closes the link and drops the device object; a fixture that owns the driver calls it
    // before the driver goes.
    void Shut() {
        if (ctx.BoardLink.connected) BtnCloseClick(ctx);
        ctx.BoardLink.device.reset();
    }

    void UseDriver(const FTDIdll& table, PortNamer ports = {}) {
        ctx.BoardLink.driver = &table;
        ctx.BoardLink.portName = std::move(ports);
    }
    bool HasLine(const std::string& text) const {
        const auto& lines = ctx.console.Lines();
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
    std::string Console() const {
        std::string all;
        for (const auto& line : ctx.console.Lines())
            all += line + "\n";
        return all;
    }
    // The device flow with the first cable; true when the board was identified.
    bool Open() {
        BtnRescanClick(ctx);
        return ctx.BoardLink.connected;
    }
    // Sends `words` words (0, 1, 2, ...) as scan core 2; returns the board's closing line,
    // and the line it should be.
    std::pair<std::string, std::string> Upload(std::size_t words) {
        std::vector<std::uint32_t> values(words);
        for (std::size_t i = 0; i < words; ++i)
            values[i] = static_cast<std::uint32_t>(i * 0x01010101u);
        const auto file = dir.File("core.dat");
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(values.data()),
                   static_cast<std::streamsize>(values.size() * 4));
        host.nextFile = file.string();
        host.SetFieldText(Field::EditCoreNumber, "2");
        ButtonUpStreamClick(ctx);
        char expected[96];
        std::snprintf(expected, sizeof expected, "Core 2 loaded: %zu words, sum %08X", words,
                      static_cast<unsigned>(sim::BoardEmulator::Checksum(values)));
        const auto& lines = ctx.console.Lines();
        std::string last = lines.empty() ? "" : lines.back();
        if (!last.empty() && last.back() == '\r') last.pop_back();
        return {last, expected};
    }

    TempDir dir;
    sim::LiveHost host{ScanCoreEntries()};
    BoardContext ctx{host};
};

}  // namespace tq9::test

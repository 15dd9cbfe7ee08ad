#pragma once
// The board bench plus what an OEM bench keeps beside the program, and a scripted avrdude.

#include <filesystem>
#include <fstream>
#include <optional>

#include "isp/ProductionFiles.h"
#include "sim/ScriptedRunner.h"
#include "support/BoardBench.h"
#include "support/TempDir.h"

namespace tq9::test {

inline constexpr const char* kCleanLog =
    "avrdude: AVR device initialized and ready to accept instructions\n"
    "avrdude: device signature = 0x1e960a (probably m644p)\n\navrdude done.  Thank you.\n";

class IspBench : public BoardBench {
  protected:
    IspBench() {
        ctx.runner = &runner;
        ctx.ProgramDirectory = dir.WithSeparator();
        runner.onRun = sim::AvrdudeScript(kCleanLog);
        host.fields[Field::dd_FirmwareType] = "TQ9gen3_ed2_b.hex";
        host.fields[Field::EditDiamex] = "0";
    }
    // A file of its own: a link of that name (to the real avrdude, say) is replaced, never
    // written through.
    // Without a text, a firmware image (.hex, .eep) holds a sound Intel HEX record and any
    // other file a byte.
    void Put(const std::string& name, const std::optional<std::string>& text = {}) const {
        std::filesystem::remove(dir.File(name));
        std::ofstream(dir.File(name), std::ios::binary) << text.value_or(DefaultContent(name));
    }
    static std::string DefaultContent(const std::string& name) {
        std::string lower = name.substr(name.size() < 4 ? 0 : name.size() - 4);
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return lower == ".hex" || lower == ".eep" ? kSmallHex : "x";
    }
    static constexpr const char* kSmallHex = ":0400000001020304F2\n:00000001FF\n";
    void PutProductionFiles() const {
        for (const char* name :
             {"fpga_tq95_v21.bit", "TQ9gen3_ed2_b.hex", "TQ9gen3_ed2_b.eep", "avrdude.conf",
              "dsp_rev.bin", "tq_midi.dat", "fir_coeff.dat", "taper_levels1.dat",
              "taper_levels2.dat", "taper_levels3.dat", "taper_levels4.dat"}) {
            Put(name);
        }
        Put(AvrdudeExecutableName());
    }
    std::string Avrdude() const { return dir.WithSeparator() + AvrdudeExecutableName(); }

    TempDir dir;
    sim::ScriptedRunner runner{clock};
};

}  // namespace tq9::test

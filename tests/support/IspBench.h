#pragma once
// The board bench plus what an OEM bench keeps beside the program, and a scripted avrdude.

#include <filesystem>
#include <fstream>

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
    void Put(const std::string& name, const std::string& text = "x") const {
        std::filesystem::remove(dir.File(name));
        std::ofstream(dir.File(name), std::ios::binary) << text;
    }
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

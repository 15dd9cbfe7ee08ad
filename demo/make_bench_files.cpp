// Writes the demo bench's data files into the given folder: the alert sound "ding.wav"
// (a short decaying tone), a sample scan-core file of 512 words, and the production files
// an OEM bench keeps beside the program: firmware images as valid Intel HEX files of a
// real image's size, each with its EEPROM sibling and a marker naming its firmware, and
// placeholders for avrdude's configuration and the FPGA, DSP, MIDI, FIR and taper data.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "isp/ProductionFiles.h"
#include "sim/IntelHex.h"

namespace {

using tq9::sim::FirmwareImage;
using tq9::sim::IntelHex;

constexpr double kPi = 3.14159265358979323846;

void Put(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool WriteDing(const std::string& path) {
    constexpr std::uint32_t kRate = 22050;
    constexpr double kSeconds = 0.35;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kRate * kSeconds));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / kRate;
        const double tone = std::sin(2 * kPi * 880 * t) + 0.4 * std::sin(2 * kPi * 1760 * t);
        samples[i] = static_cast<std::int16_t>(12000 * tone * std::exp(-9 * t));
    }
    std::ofstream out(path, std::ios::binary);
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    Put(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    Put(out, 16, 4);
    Put(out, 1, 2);  // PCM
    Put(out, 1, 2);  // mono
    Put(out, kRate, 4);
    Put(out, kRate * 2, 4);
    Put(out, 2, 2);
    Put(out, 16, 2);
    out.write("data", 4);
    Put(out, dataBytes, 4);
    for (const std::int16_t s : samples)
        Put(out, static_cast<std::uint16_t>(s), 2);
    return static_cast<bool>(out);
}

bool WriteScanCore(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    for (std::uint32_t i = 0; i < 512; ++i)
        Put(out, 0x5C000000u | (i * 0x10001u), 4);
    return static_cast<bool>(out);
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

bool WriteProductionFiles(const std::string& dir) {
    bool ok = true;
    const char* images[] = {"TQ9gen3_ed1_b", "TQ9gen3_ed2_b", "TQ9gen3_ed3_b", "TQ9gen3_ed4_b",
                            "TQ9gen3_ed5_b", "TQ9gen3_ed6_b", "TQ9gen2_ed1_b", "TQ9gen2_ed2_b"};
    std::size_t size = 40 * 1024;
    std::vector<std::uint8_t> flashed(65536, 0xFF), flashedEeprom(2048, 0xFF);
    for (const std::string image : images) {
        // TQ9gen3_ed2_b runs "TQ95-g3ed2", version 3.72.
        const std::string generation = image.substr(6, 1), edition = image.substr(10, 1);
        const std::string firmware = "TQ95-g" + generation + "ed" + edition;
        const std::string version = (generation == "3" ? "3.7" : "3.6") + edition;
        const std::vector<std::uint8_t> flash = FirmwareImage(image, firmware, version, size);
        ok &= WriteText(dir + image + ".hex", IntelHex(flash));
        std::vector<std::uint8_t> eeprom(512, 0xFF);
        for (std::size_t i = 0; i < 64; ++i)
            eeprom[i] = static_cast<std::uint8_t>(i * 7 + size);
        ok &= WriteText(dir + image + ".eep", IntelHex(eeprom));
        if (image == images[0]) {  // what the bench's board arrives with
            std::copy(flash.begin(), flash.end(), flashed.begin());
            std::copy(eeprom.begin(), eeprom.end(), flashedEeprom.begin());
        }
        size += 2 * 1024;  // the editions differ in size, as real ones do
    }
    // The emulated programmer's chip (tq9_isp_emulator --state isp-state), which the
    // simulated board's controller runs.
    std::filesystem::create_directories(dir + "isp-state");
    ok &= WriteText(dir + "isp-state/flash.bin", std::string(flashed.begin(), flashed.end()));
    ok &= WriteText(dir + "isp-state/eeprom.bin",
                    std::string(flashedEeprom.begin(), flashedEeprom.end()));
    ok &= WriteText(dir + "isp-state/fuses.txt", "lfuse=0xF7 hfuse=0xD2 efuse=0xFC lock=0xEF\n");
    ok &= WriteText(dir + "avrdude.conf", "# avrdude configuration of the simulated bench\n");
    // The stand-in's programmer on DIAMEX COM Port 0, as this platform names that port.
    ok &= WriteText(dir + "avrdude-standin.txt",
                    "port=" + tq9::IspPortArgument("0") + "\ndiagnostic=none\n");
    ok &= WriteText(dir + "fpga_tq95_v21.bit", std::string(64, '\xA5'));
    for (const char* data : {"dsp_rev.bin", "tq_midi.dat", "fir_coeff.dat", "taper_levels1.dat",
                             "taper_levels2.dat", "taper_levels3.dat", "taper_levels4.dat"}) {
        ok &= WriteText(dir + data, std::string(32, '\0'));
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string dir = std::string(argv[1]) + "/";
    const bool ok = WriteDing(dir + "ding.wav") && WriteScanCore(dir + "scancore_demo.dat") &&
                    WriteProductionFiles(dir);
    return ok ? 0 : 1;
}

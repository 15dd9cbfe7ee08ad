#pragma once
// The ISP bench with the real avrdude (Debian's, linked into the program directory with a
// copy of its configuration) and the emulated DIAMEX programmer running as its own program
// on a pseudo-terminal. The board link stays on virtual time; avrdude runs in real time.
// POSIX only.

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

#include "sim/ServerProcess.h"
#include "support/IspBench.h"

namespace tq9::test {

class AvrdudeBench : public IspBench {
  protected:
    AvrdudeBench() : system_(MakeSystemProcessRunner()), watched_(*system_, onStart) {}
    ~AvrdudeBench() override { StopProgrammer(); }

    // False where Debian's avrdude is not installed. Put no file named avrdude after this:
    // Put replaces the link, but a plain write would go through it.
    bool UseRealAvrdude() {
        namespace fs = std::filesystem;
        if (!fs::exists("/usr/bin/avrdude") || !fs::exists("/etc/avrdude.conf")) return false;
        fs::remove(dir.File("avrdude"));
        fs::create_symlink("/usr/bin/avrdude", dir.File("avrdude"));
        fs::copy_file("/etc/avrdude.conf", dir.File("avrdude.conf"),
                      fs::copy_options::overwrite_existing);
        ctx.runner = &watched_;
        return true;
    }
    // The demo bench's firmware image and its EEPROM sibling, as the build made them.
    void PutImage(const std::string& image) const {
        for (const char* extension : {".hex", ".eep"}) {
            std::filesystem::copy_file(std::string(TQ9_DEMO_BENCH_DIR) + "/" + image + extension,
                                       dir.File(image + extension));
        }
    }
    // Starts tq9_isp_emulator; the port path the operator types is then Port().
    void StartProgrammer(const std::string& fault = "none") {
        StopProgrammer();
        const std::string link =
            "/dev/shm/tq9-isp-" + std::to_string(::getpid()) + "-" + std::to_string(++started_);
        programmer_ = std::make_unique<sim::IspEmulatorProcess>(TQ9_ISP_EMULATOR_PATH, link,
                                                                dir.File("state").string(), fault);
        ASSERT_FALSE(programmer_->Port().empty()) << "the emulator made no port";
    }
    // Ends the emulator, which writes the chip's state on its way out.
    void StopProgrammer() { programmer_.reset(); }
    const std::string& Port() const { return programmer_->Port(); }
    std::vector<std::uint8_t> StateFile(const std::string& name) const {
        std::ifstream file(dir.File("state/" + name), std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
    std::string Fuses() const {
        const auto bytes = StateFile("fuses.txt");
        std::string text(bytes.begin(), bytes.end());
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }
    // An Intel HEX file's bytes laid into a memory of `size` bytes, 0xFF elsewhere.
    std::vector<std::uint8_t> HexImage(const std::string& name, std::size_t size) const {
        std::vector<std::uint8_t> memory(size, 0xFF);
        std::ifstream file(dir.File(name));
        for (std::string line; std::getline(file, line);) {
            if (line.size() < 11 || line[0] != ':' || line.substr(7, 2) != "00") continue;
            const std::size_t count = std::stoul(line.substr(1, 2), nullptr, 16);
            const std::size_t address = std::stoul(line.substr(3, 4), nullptr, 16);
            for (std::size_t i = 0; i < count && address + i < size; ++i)
                memory[address + i] =
                    std::uint8_t(std::stoul(line.substr(9 + 2 * i, 2), nullptr, 16));
        }
        return memory;
    }

    // Called each time a program has started (avrdude is running when it is called).
    std::function<void()> onStart;

  private:
    // The system's runner, telling the test when a program has started.
    class WatchedRunner : public ProcessRunner {
      public:
        WatchedRunner(ProcessRunner& inner, std::function<void()>& onStart)
            : inner_(inner), onStart_(onStart) {}
        std::unique_ptr<ChildProcess> Start(const ProgramStart& start,
                                            std::string& whyNot) override {
            auto child = inner_.Start(start, whyNot);
            if (child && onStart_) onStart_();
            return child;
        }

      private:
        ProcessRunner& inner_;
        std::function<void()>& onStart_;
    };

    std::unique_ptr<ProcessRunner> system_;
    WatchedRunner watched_;
    std::unique_ptr<sim::IspEmulatorProcess> programmer_;
    int started_ = 0;
};

inline constexpr const char* kFactoryFuses = "lfuse=0x62 hfuse=0x99 efuse=0xFF lock=0xFF";
inline constexpr const char* kProductionFuses = "lfuse=0xF7 hfuse=0xD2 efuse=0xFC lock=0xEF";

}  // namespace tq9::test

// The production run from the window, on a bench like the demo's: the production files,
// the real avrdude programming the emulated DIAMEX programmer (avrdude's stand-in where
// avrdude is not installed), the simulated cable and board.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "isp/Production.h"
#include "support/GuiBench.h"

#if !defined(_WIN32)
#include <unistd.h>

#include <memory>

#include "sim/ServerProcess.h"
#endif

namespace tq9 {
namespace {

#if !defined(_WIN32)
class ProductionWindowTest : public test::GuiBench {
  protected:
    void SetUp() override {
        for (const char* name :
             {"fpga_tq95_v21.bit", "TQ9gen3_ed2_b.hex", "TQ9gen3_ed2_b.eep", "avrdude.conf",
              "dsp_rev.bin", "tq_midi.dat", "fir_coeff.dat", "taper_levels1.dat",
              "taper_levels2.dat", "taper_levels3.dat", "taper_levels4.dat"}) {
            std::ofstream(programDir.File(name)) << "x";
        }
        namespace fs = std::filesystem;
        const bool real = fs::exists("/usr/bin/avrdude") && fs::exists("/etc/avrdude.conf");
        std::string port = "0";
        if (real) {
            for (const char* image : {"TQ9gen3_ed2_b.hex", "TQ9gen3_ed2_b.eep"}) {
                fs::copy_file(std::string(TQ9_DEMO_BENCH_DIR) + "/" + image, programDir.File(image),
                              fs::copy_options::overwrite_existing);
            }
            fs::create_symlink("/usr/bin/avrdude", programDir.File("avrdude"));
            fs::copy_file("/etc/avrdude.conf", programDir.File("avrdude.conf"),
                          fs::copy_options::overwrite_existing);
            programmer = std::make_unique<sim::IspEmulatorProcess>(
                TQ9_ISP_EMULATOR_PATH, "/dev/shm/tq9-gui-isp-" + std::to_string(::getpid()),
                programDir.File("state").string());
            port = programmer->Port();
        } else {
            std::ofstream(programDir.File("avrdude-standin.txt")) << "port=/dev/ttyUSB0\n";
            fs::copy_file(TQ9_AVRDUDE_STANDIN_PATH, programDir.File("avrdude"));
        }
        Start();
        form->EditDiamex->setText(QString::fromStdString(port));
        AnswerEveryDialog();
        form->BtnRescan->click();
        ASSERT_TRUE(form->ProdProg->isEnabled());
        ASSERT_TRUE(form->Context().BoardLink.connected);
    }

    std::unique_ptr<sim::IspEmulatorProcess> programmer;
};

TEST_F(ProductionWindowTest, FromTheFirstDialogToTheSuccessDialog) {
    form->ProdProg->click();
    ASSERT_EQ(answered.size(), 3) << answered.join(" | ").toStdString();
    EXPECT_EQ(answered[0].toStdString(),
              QString(kConnectIspPrompt).replace('\r', '\n').toStdString());
    EXPECT_EQ(answered[2], QString(kRunSucceeded).replace('\r', '\n'));
    ASSERT_NE(form->ProgramOutput(), nullptr);
    EXPECT_TRUE(form->ProgramOutput()->isVisible()) << "the flash run's output stays to be read";
    EXPECT_TRUE(Memo().contains("Serial Number: 12345"));
}

TEST_F(ProductionWindowTest, AWrongProgrammerPortStopsWithThePortError) {
    form->EditDiamex->setText("9");
    form->ProdProg->click();
    EXPECT_EQ(answered.size(), 1);
    EXPECT_EQ(Memo().last(), "##### Error: AVRdude COM. Is DIAMEX port# correct?");
    EXPECT_TRUE(Memo().contains(
        "avrdude OS error: cannot open port /dev/ttyUSB9: No such file or directory"));
}
#endif

}  // namespace
}  // namespace tq9

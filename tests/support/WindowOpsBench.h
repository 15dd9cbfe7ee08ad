#pragma once
// The board bench after the window's start-up: what the device flow and the window's own
// handlers are tested on.

#include <string>

#include "ops/MainWindowOps.h"
#include "support/BoardBench.h"
#include "support/TempDir.h"

namespace tq9::test {

class WindowOpsBench : public BoardBench {
  protected:
    void Start(bool withAvrdude = false) {
        if (withAvrdude) programDir.Touch(AvrdudeName());
        FormCreate(ctx, programDir.WithSeparator());
        host.visible[Control::BtnRescan] = true;
        host.visible[Control::BtnClose] = false;
    }
    static std::string AvrdudeName() {
#if defined(_WIN32)
        return "avrdude.exe";
#else
        return "avrdude";
#endif
    }
    bool BoardButtons(bool enabled) {
        return host.enabled[Control::BtnRefresh] == enabled &&
               host.enabled[Control::BtnFPGAprog] == enabled &&
               host.enabled[Control::BtnFinalize] == enabled &&
               host.visible[Control::BtnClose] == enabled &&
               host.visible[Control::BtnRescan] == !enabled;
    }

    test::TempDir programDir;
};

}  // namespace tq9::test

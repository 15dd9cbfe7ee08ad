// The console's font in this process, where its metrics can be read: fixed pitch whatever
// fonts the machine has (wine has no "Lucida Console"), and a font the mapper matched with
// a proportional pitch is passed over.

#include "ui/win32/ConsoleFont.h"

#include <gtest/gtest.h>

#include "ui/win32/Dpi.h"

namespace tq9::win32 {
namespace {

TEST(Win32ConsoleFont, IsFixedPitchWhateverFontsTheMachineHas) {
    for (UINT dpi : {96u, 144u}) {
        SCOPED_TRACE(dpi);
        HFONT font = ConsoleFont(dpi);
        ASSERT_NE(font, nullptr);
        EXPECT_TRUE(IsFixedPitch(font));
        DeleteObject(font);
    }
}

TEST(Win32ConsoleFont, AProportionalMatchIsPassedOverForTheNextOrTheStockFixedFont) {
    const auto proportional = [] {
        return PixelFont(L"Tahoma", 12, FW_NORMAL, VARIABLE_PITCH | FF_SWISS, 96);
    };
    HFONT asked = proportional();
    ASSERT_FALSE(IsFixedPitch(asked)) << "the check tells the pitches apart";
    DeleteObject(asked);

    HFONT fixed = PixelFont(L"Courier New", 12, FW_NORMAL, FIXED_PITCH | FF_MODERN, 96);
    ASSERT_TRUE(IsFixedPitch(fixed));
    EXPECT_EQ(FirstFixedPitch({proportional(), fixed}), fixed);
    DeleteObject(fixed);

    HFONT none = FirstFixedPitch({proportional(), proportional()});
    EXPECT_EQ(none, GetStockObject(ANSI_FIXED_FONT));
    EXPECT_TRUE(IsFixedPitch(none));
}

}  // namespace
}  // namespace tq9::win32

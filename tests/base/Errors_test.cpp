// The standard error box's text.

#include "base/Errors.h"

#include <gtest/gtest.h>

namespace tq9 {
namespace {

TEST(ErrorBox, AppendsAFullStopAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(ErrorBoxText("tftdichip.closeDevice: Not open"), "tftdichip.closeDevice: Not open.");
    EXPECT_EQ(ErrorBoxText("value 7"), "value 7.");
    EXPECT_EQ(ErrorBoxText("ends with a stop."), "ends with a stop.");
    EXPECT_EQ(ErrorBoxText("ends with a comma,"), "ends with a comma,");
    EXPECT_EQ(ErrorBoxText("'x'"), "'x'");
    EXPECT_EQ(ErrorBoxText("slash/"), "slash/.");
    EXPECT_EQ(ErrorBoxText(""), "");
}

}  // namespace
}  // namespace tq9

#include "cli/TerminalHost.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

namespace tq9 {
namespace {

// tq9ctl's standard output as a station's log or a terminal gets it.
struct CapturedOutput {
    std::ostringstream text;
    std::streambuf* saved = std::cout.rdbuf(text.rdbuf());
    ~CapturedOutput() { std::cout.rdbuf(saved); }
};

// Text from a board, avrdude's output and its log, and a dialog reach the terminal with
// their control characters escaped (an ESC sequence there could clear the screen or set
// the window's title), while avrdude's line ends and progress CRs stay as they are and a
// character split between two reads of its output arrives whole.
TEST(TerminalHostTest, WhatItPrintsNeverDrivesTheTerminal) {
    TerminalHost host;
    CapturedOutput out;
    host.ConsoleLineAdded("board says \x1b]0;owned\x07 hi\r");
    host.ProgramOutputStart("avrdude -P '/dev/ttyUSB0\x1b[2J'");
    host.ProgramOutputAdd("Writing | ##\r");
    host.ProgramOutputAdd("Writing | #### \xe2\x82");  // a euro sign cut after two bytes
    host.ProgramOutputAdd("\xac done\n\x1b[2Jbad\x9b");
    host.ProgramOutputEnd(0);
    host.ShowMessage(MessageKind::Error, "Failed\r\x1b[31mred");
    EXPECT_EQ(out.text.str(),
              "board says \\x1b]0;owned\\x07 hi\n"
              "----- avrdude -P '/dev/ttyUSB0\\x1b[2J'\n"
              "Writing | ##\rWriting | #### \xe2\x82\xac done\n\\x1b[2Jbad\xef\xbf\xbd"
              "\n----- avrdude exit code 0\n"
              "[dialog] Failed\n\\x1b[31mred\n");
    // The operation's JSON object keeps the dialog's text as data.
    EXPECT_EQ(host.dialogs.back(), "Failed\n\x1b[31mred");
}

}  // namespace
}  // namespace tq9

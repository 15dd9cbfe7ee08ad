#pragma once
// What tq9ctl needs of the terminal it runs in: whether a stream is one (progress lines
// and prompts are for a person), and the operator's Ctrl-C presses.

#include <string>
#include <vector>

namespace tq9 {

// The program's arguments (without its name) as UTF-8, whatever the system's code page;
// from here on the console shows what the program writes as UTF-8.
std::vector<std::string> StartTerminal(int argc, char** argv);

enum class Stream { Input, Output, Error };
bool IsTerminal(Stream stream);

// From here on, Ctrl-C no longer ends the program: each press is counted for the running
// operation to take at its next look (a blocked read of standard input returns).
void CatchInterrupts();
// The presses so far.
int Interrupts();
// Counts one more, as a press would (the end of the input where Enter was awaited).
void CountInterrupt();

}  // namespace tq9

#pragma once
// A pseudo-terminal for an emulated peer's program: the master side for the peer, the
// slave side reached through a symbolic link of the caller's choosing, held open by the
// peer itself (so the terminal stays up while no tool has it open) and raw (so nothing is
// echoed). POSIX only.

#include <string>

namespace tq9::sim {

struct PtyLink {
    int master = -1;
    int slave = -1;
};

// False, with the reason on standard error after `program`'s name, when it cannot be made.
bool OpenPtyLink(const std::string& link, const char* program, PtyLink& pty);
// Removes the link and closes both sides.
void ClosePtyLink(const std::string& link, PtyLink& pty);

}  // namespace tq9::sim

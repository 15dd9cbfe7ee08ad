#pragma once
// Small facts about the running program that differ by platform.

#include <cstdint>
#include <string>
#include <vector>

namespace tq9 {

// The directory of the running executable, with a trailing path separator.
std::string ExecutableDirectory();
// The text with the environment's %VARIABLES% put in (Windows; unchanged elsewhere).
std::string ExpandedEnvironment(const std::string& text);
// This machine's name, this process's number, and whether a process of that number runs.
std::string HostName();
long CurrentProcessId();
bool ProcessAlive(long pid);
// Where this user's board records live: $XDG_DATA_HOME (or ~/.local/share) on Linux,
// %LOCALAPPDATA% on Windows, then tq9-bench/records.sqlite3. Empty when there is no home.
std::string DefaultRecordsPath();
// The records' settings files, the later overriding the earlier: the machine's
// (/etc/tq9-bench/records.conf, an admin's) then the user's ($XDG_CONFIG_HOME or ~/.config,
// then tq9-bench/records.conf) on Linux; %PROGRAMDATA%\tq9-bench\records.conf on Windows.
std::vector<std::string> RecordsSettingsPaths();
// Whether the folder lies on a network file system (NFS, SMB/CIFS, a FUSE mount such as
// sshfs; on Windows a share or a mapped network drive), where files shared by several
// machines cannot rely on shared memory between their users.
bool OnNetworkFileSystem(const std::string& folder);
// The system's 32-bit millisecond tick counter (GetTickCount on Windows).
std::uint32_t SystemTickCount();
// Whether a file of this name exists in the directory; the name matches without regard
// to case, as on the production PC. `actual` receives the name as it stands on disk.
bool FileExistsNoCase(const std::string& directory, const std::string& name,
                      std::string* actual = nullptr);

// Writes `content` to the file `path`, whole or not at all: into a temporary name beside it,
// made anew (an existing file or a link planted under that name is never opened, nor
// followed), then renamed over `path`. False, with "cannot write PATH (the system's
// reason)", when it cannot; the temporary name is then gone again.
bool WriteFileWhole(const std::string& path, const std::string& content, std::string& whyNot);

// The names of the regular files in a directory, sorted without regard to case (the order
// Windows lists them in).
std::vector<std::string> FilesInDirectory(const std::string& directory);

// An exclusive lock on a directory among the programs of this machine: two stations on one
// bench directory take turns at what they share there (avrdude's probe log). Released when
// destroyed. Programs started meanwhile do not inherit it.
class DirectoryLock {
  public:
    enum class Result { taken, busy, failed };
    DirectoryLock() = default;
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    // Tries once, without waiting; `whyNot` says why it failed (not when it is busy).
    Result TryTake(const std::string& directory, std::string& whyNot);
    void Release();

  private:
    std::intptr_t handle_ = -1;
};

// Makes 1 ms sleeps last about 1 ms while it lives: on Windows it raises the timer
// resolution to 1 ms (the default granularity is about 15.6 ms); on Linux it lowers the
// thread's timer slack.
class FineTimerResolution {
  public:
    FineTimerResolution();
    ~FineTimerResolution();
    FineTimerResolution(const FineTimerResolution&) = delete;
    FineTimerResolution& operator=(const FineTimerResolution&) = delete;

  private:
    bool raised_ = false;
    unsigned long previousSlackNs_ = 0;
};

}  // namespace tq9

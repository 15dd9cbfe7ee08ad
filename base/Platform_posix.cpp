#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Platform.h"
#include "base/Uuid.h"

namespace tq9 {

namespace {
bool SetTimerSlack(unsigned long slackNs, unsigned long* previousNs) {
#if defined(__linux__)
    if (previousNs) {
        const int current = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
        if (current < 0) return false;
        *previousNs = static_cast<unsigned long>(current);
    }
    return ::prctl(PR_SET_TIMERSLACK, slackNs, 0, 0, 0) == 0;
#else
    (void)slackNs;
    (void)previousNs;
    return false;
#endif
}
}  // namespace

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "unknown";
    return name;
}

long CurrentProcessId() {
    return static_cast<long>(::getpid());
}

bool ProcessAlive(long pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string DefaultRecordsPath() {
    std::string data;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
        data = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        data = std::string(home) + "/.local/share";
    } else {
        return {};
    }
    return data + "/tq9-bench/records.sqlite3";
}

std::vector<std::string> RecordsSettingsPaths() {
    std::vector<std::string> paths = {"/etc/tq9-bench/records.conf"};
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        paths.push_back(std::string(xdg) + "/tq9-bench/records.conf");
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        paths.push_back(std::string(home) + "/.config/tq9-bench/records.conf");
    }
    return paths;
}

bool OnNetworkFileSystem(const std::string& folder) {
#if defined(__linux__)
    struct statfs info {};
    if (::statfs(folder.c_str(), &info) != 0) return false;
    switch (static_cast<unsigned long>(info.f_type)) {
        case 0x6969UL:      // NFS
        case 0x517BUL:      // SMB
        case 0xFF534D42UL:  // CIFS
        case 0xFE534D42UL:  // SMB2
        case 0x65735546UL:  // FUSE (sshfs and the like)
        case 0x564C5300UL:  // VirtualBox shared folders
        case 0x01021997UL:  // 9p (shared folders of virtual machines)
            return true;
        default:
            return false;
    }
#else
    (void)folder;
    return false;
#endif
}

std::string ExpandedEnvironment(const std::string& text) {
    return text;
}

std::string ExecutableDirectory() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "./";
    std::string exe(path, static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? "./" : exe.substr(0, slash + 1);
}

std::uint32_t SystemTickCount() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms);
}

bool FileExistsNoCase(const std::string& directory, const std::string& name, std::string* actual) {
    const std::string dir = directory.empty() ? "./" : directory;
    struct stat info {};
    if (::stat((dir + name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        if (actual) *actual = name;
        return true;
    }
    // A case-sensitive file system: look the name up in the directory.
    DIR* listing = ::opendir(dir.c_str());
    if (!listing) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(listing)) {
        if (::strcasecmp(entry->d_name, name.c_str()) != 0) continue;
        if (::stat((dir + entry->d_name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            if (actual) *actual = entry->d_name;
            found = true;
            break;
        }
    }
    ::closedir(listing);
    return found;
}

std::vector<std::string> FilesInDirectory(const std::string& directory) {
    std::vector<std::string> names;
    const std::string dir = directory.empty() ? "./" : directory;
    DIR* listing = ::opendir(dir.c_str());
    if (!listing) return names;
    while (const dirent* entry = ::readdir(listing)) {
        struct stat info {};
        if (::stat((dir + entry->d_name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(listing);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return ::strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    return names;
}

// Linux lets sleeps run late by the thread's timer slack (50 us by default), which adds up
// over thousands of 1 ms pauses; a slack of 1 ns keeps each pause close to 1 ms.
FineTimerResolution::FineTimerResolution() {
    raised_ = SetTimerSlack(1, &previousSlackNs_);
}

FineTimerResolution::~FineTimerResolution() {
    if (raised_) SetTimerSlack(previousSlackNs_, nullptr);
}

DirectoryLock::~DirectoryLock() {
    Release();
}

DirectoryLock::Result DirectoryLock::TryTake(const std::string& directory, std::string& whyNot) {
    Release();
    const int fd =
        ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        whyNot = directory + ": " + std::strerror(errno);
        return Result::failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK || error == EINTR) return Result::busy;
        whyNot = directory + ": " + std::strerror(error);
        return Result::failed;
    }
    handle_ = fd;
    return Result::taken;
}

void DirectoryLock::Release() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

bool WriteFileWhole(const std::string& path, const std::string& content, std::string& whyNot) {
    auto failed = [&](int error) {
        whyNot = "cannot write " + path + " (" + std::strerror(error) + ")";
        return false;
    };
    // A fresh name each try: one taken (by a planted link, say) is passed over, not used.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 5 && fd < 0; ++attempt) {
        temporary = path + "." + NewUuid().substr(0, 8) + ".part";
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return failed(errno);
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(temporary.c_str());
            return failed(error);
        }
        done += static_cast<std::size_t>(n);
    }
    const int synced = ::fsync(fd) == 0 ? 0 : errno;
    const int closed = ::close(fd) == 0 ? 0 : errno;
    if (synced != 0 || closed != 0) {
        ::unlink(temporary.c_str());
        return failed(synced != 0 ? synced : closed);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return failed(error);
    }
    return true;
}

}  // namespace tq9

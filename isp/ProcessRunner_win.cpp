// Programs started with CreateProcessW in a console of their own, shown or hidden.

#include <windows.h>

#include "base/Utf16_win.h"
#include "isp/ProcessRunner.h"

namespace tq9 {

namespace {

class WinChild : public ChildProcess {
  public:
    WinChild(PROCESS_INFORMATION info, HANDLE job) : info_(info), job_(job) {}
    ~WinChild() override {
        if (!Wait(0)) Stop(true);
        // Closing the job ends whatever the program started and left running.
        if (job_) CloseHandle(job_);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    bool Wait(std::uint32_t ms) override {
        return WaitForSingleObject(info_.hProcess, ms) != WAIT_TIMEOUT;
    }
    // The output goes to the program's own console window.
    std::string TakeOutput() override { return {}; }
    int ExitCode() const override {
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<int>(code);
    }
    // The program and what it started.
    void Stop(bool) override {
        if (!job_ || !TerminateJobObject(job_, 1)) TerminateProcess(info_.hProcess, 1);
    }

  private:
    PROCESS_INFORMATION info_;
    HANDLE job_;
};

class WinRunner : public ProcessRunner {
  public:
    std::unique_ptr<ChildProcess> Start(const ProgramStart& start, std::string& whyNot) override {
        std::wstring line = Widen(start.commandLine);  // CreateProcessW may write into it
        const std::wstring directory = Widen(start.workingDirectory);
        const bool hidden = start.hidden;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = hidden ? SW_HIDE : SW_SHOWNORMAL;
        PROCESS_INFORMATION info{};
        const BOOL started = CreateProcessW(
            nullptr, line.data(), nullptr, nullptr, FALSE,
            CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_DEFAULT_ERROR_MODE, nullptr,
            directory.empty() ? nullptr : directory.c_str(), &startup, &info);
        if (!started) {
            whyNot = "error " + std::to_string(GetLastError());
            return nullptr;
        }
        // A job of its own, so a stop reaches everything it started too.
        HANDLE job = CreateJobObjectW(nullptr, nullptr);
        if (job) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                         sizeof limits) ||
                !AssignProcessToJobObject(job, info.hProcess)) {
                CloseHandle(job);
                job = nullptr;
            }
        }
        return std::make_unique<WinChild>(info, job);
    }
};

}  // namespace

std::unique_ptr<ProcessRunner> MakeSystemProcessRunner() {
    return std::make_unique<WinRunner>();
}

std::string RepeatableCommandLine(const ProgramStart& start) {
    return start.commandLine;
}

}  // namespace tq9

// A full scan-core upload (16384 words) through the Win32 window, in real time under wine or
// on Windows: the built tq95_finalize.exe in a bench folder of its own with the simulated
// driver beside it as FTD2XX.DLL, driven from this process as an operator would (Device,
// the cable dialog, Upd FPGA's file dialog). The driver notes when each write reached the
// emulated board; this process meanwhile sends the window a message every few milliseconds
// and times its answer, which comes only when the window retrieves its messages.
// Printed, each with its goal: the word stream against its floor of 1 ms a word, the
// smallest gap between words, and the longest the window went without retrieving messages.
// Usage (with a display): wine bench_upload_window_win.exe [words (16384)]

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/Win32Remote.h"
#include "ui/win32/ControlIds.h"

using namespace tq9;
using namespace tq9::test;
using Clock = std::chrono::steady_clock;

namespace {
double Ms(Clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

int Fail(const std::string& why, const WindowProcess& program) {
    std::printf("%s\n%s\n", why.c_str(), program.Console().c_str());
    return 1;
}
}  // namespace

int main(int argc, char** argv) {
    const std::size_t words = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16384;
    auto program =
        std::make_unique<WindowProcess>(TQ9_WIN32_WINDOW_PATH, TQ9_SIM_DRIVER_PATH, true);
    const auto core = program->Bench().File("core.dat");
    {
        std::ofstream out(core, std::ios::binary);
        for (std::size_t i = 0; i < words * 4; ++i)
            out.put(static_cast<char>(i * 7));
    }
    const std::string timesPath = program->Bench().File("writes.txt").string();
    ScopedEnv times("TQ9_SIM_WRITE_TIMES", timesPath);
    if (!program->Start()) return Fail("the window did not start", *program);
    if (!program->OpenFirstCable()) return Fail("the board was not opened", *program);
    HWND dialog = program->DialogOf(win32::kButtonUpStream, L"Open DAT File:");
    if (!dialog) return Fail("no file dialog", *program);

    // Pings from the file's choice to the upload's last line.
    std::atomic<bool> pinging{true};
    std::vector<double> answers;
    answers.reserve(100000);
    const HWND main = program->Main();
    std::thread pinger([&] {
        while (pinging) {
            const auto sent = Clock::now();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
            answers.push_back(Ms(Clock::now() - sent));
            Sleep(2);
        }
    });
    const auto chosen = Clock::now();
    AnswerFileDialog(dialog, core.wstring());
    const std::string sentLine = "### " + std::to_string(words * 4) + " Bytes sent.\r\n";
    const bool ended = WaitUntil(
        [&] {
            const std::string console = program->Console();
            const auto at = console.find(sentLine);
            return at != std::string::npos && console.size() > at + sentLine.size();
        },
        static_cast<DWORD>(words * 3 + 60000));
    const double operationS = Ms(Clock::now() - chosen) / 1000.0;
    pinging = false;
    pinger.join();
    if (!ended) return Fail("the upload did not end", *program);
    const std::string console = program->Console();
    // The driver writes its notes as the program ends.
    PostMessageW(main, WM_CLOSE, 0, 0);
    if (!program->Ended(30000)) return Fail("the window did not close", *program);

    // The words are the last run of single-byte writes, four to a word.
    std::vector<std::pair<std::uint64_t, std::size_t>> writes;
    std::ifstream in(timesPath);
    for (std::uint64_t us = 0, size = 0; in >> us >> size;)
        writes.push_back({us, size});
    std::size_t end = writes.size();
    while (end > 0 && writes[end - 1].second != 1)
        --end;
    std::size_t first = end;
    while (first > 0 && writes[first - 1].second == 1)
        --first;
    std::vector<std::uint64_t> starts;
    for (std::size_t i = first; i + 3 < end; i += 4)
        starts.push_back(writes[i].first);
    if (starts.size() != words) {
        std::printf("%zu words reached the board, not %zu\n", starts.size(), words);
        return 1;
    }
    std::vector<double> gapsMs;
    for (std::size_t i = 1; i < starts.size(); ++i)
        gapsMs.push_back(double(starts[i] - starts[i - 1]) / 1000.0);
    std::sort(gapsMs.begin(), gapsMs.end());
    const double stream = double(starts.back() - starts.front()) / 1e6 + 0.001;
    const double floor = double(words) / 1000.0;
    std::sort(answers.begin(), answers.end());

    std::printf("upload of %zu words through the Win32 window\n", words);
    std::printf("word stream %.3f s against its floor %.3f s: ratio %.4f (goal <= 1.01)\n", stream,
                floor, stream / floor);
    std::printf("smallest gap between words: %.4f ms (goal >= 1 ms)\n", gapsMs.front());
    std::printf("median gap between words: %.4f ms; 99th percentile %.3f ms, largest %.3f ms\n",
                gapsMs[gapsMs.size() / 2], gapsMs[gapsMs.size() * 99 / 100], gapsMs.back());
    double lateS = 0;
    std::size_t late = 0;
    for (double gap : gapsMs)
        if (gap > 1.5) {
            lateS += (gap - 1.0) / 1000.0;
            ++late;
        }
    std::printf("time lost in the %zu gaps over 1.5 ms: %.3f s (for the record)\n", late, lateS);
    std::printf("the operation from the file's choice to its last line: %.3f s (for the record)\n",
                operationS);
    std::printf(
        "longest the window went without retrieving messages: %.1f ms (goal < 100 ms), "
        "from %zu pings; median answer %.2f ms\n",
        answers.back(), answers.size(), answers[answers.size() / 2]);
    std::printf("board's closing line: %s\n",
                console.substr(console.rfind("\r\n", console.size() - 3) + 2).c_str());
    return 0;
}

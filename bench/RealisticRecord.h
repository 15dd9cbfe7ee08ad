#pragma once
// A busy bench's operations as the records hold them: device flows, resets, uploads and
// production runs with their console lines, probe logs and avrdude runs. Row `i` of a
// bench that has written i rows.

#include <cstdio>
#include <string>

#include "records/RecordStore.h"

namespace tq9::bench {

// What avrdude prints for each of a production run's three runs, roughly.
inline const char* const kAvrdudeOutput[] = {
    "\navrdude: AVR device initialized and ready to accept instructions\n\n"
    "Reading | ################################################## | 100% 0.01s\n\n"
    "avrdude: Device signature = 0x1e960a (probably m644p)\n\navrdude done.  Thank you.\n",
    "\navrdude: AVR device initialized and ready to accept instructions\n"
    "avrdude: Device signature = 0x1e960a (probably m644p)\n"
    "avrdude: reading input file \"0xf7\"\navrdude: writing lfuse (1 bytes):\n"
    "avrdude: 1 bytes of lfuse written\n\navrdude done.  Thank you.\n",
    "\navrdude: AVR device initialized and ready to accept instructions\n"
    "avrdude: Device signature = 0x1e960a (probably m644p)\n"
    "avrdude: erasing chip\navrdude: reading input file \"TQ9gen3_ed2_b.hex\"\n"
    "avrdude: writing flash (40960 bytes):\n\n"
    "Writing | ################################################## | 100% 6.21s\n\n"
    "avrdude: 40960 bytes of flash written\navrdude: verifying flash memory against "
    "TQ9gen3_ed2_b.hex:\n\n"
    "Reading | ################################################## | 100% 4.87s\n\n"
    "avrdude: 40960 bytes of flash verified\n\navrdude done.  Thank you.\n",
};

inline const char* const kOperations[] = {"device flow", "Reset TQ9", "scan-core upload",
                                          "production run", "AVR only"};

inline OperationRecord Realistic(int i) {
    OperationRecord r;
    char started[32];
    // Spread over 200 days, newest last.
    const int minute = i / 2;
    std::snprintf(started, sizeof started, "2026-%02d-%02dT%02d:%02d:00Z",
                  1 + (minute / 40000) % 12, 1 + (minute / 1440) % 28, (minute / 60) % 24,
                  minute % 60);
    r.started = started;
    r.ended = started;
    r.host = "bench-" + std::to_string(i % 3);
    r.program = i % 5 ? "tq9-bench" : "tq9ctl";
    r.pid = 4000 + i % 97;
    r.operation = kOperations[i % 5];
    r.cableSerial = "TQ9A" + std::to_string(1000 + i % 40);
    r.cableDescription = "TTL232R-5V";
    r.comNumber = i % 8;
    r.boardSerial = std::to_string(10000 + i / 7);  // each board seen about 7 times
    r.firmwareVersion = "3.72";
    r.firmwareName = "TQ95-g3ed2";
    r.fpgaVersion = "0813A7C2";
    r.scanCore = "1";
    r.outcome = i % 17 ? kOutcomeCompleted : kOutcomeEndedEarly;
    r.errorKind = i % 17 ? "noErr" : "FileErr";
    r.errorCount = i % 17 ? 0 : 1;
    for (int line = 0; line < 30; ++line) {
        r.console += "254=3.72 [AVR, TQ95-g3ed2] line " + std::to_string(line) + " of the run\n";
    }
    if (r.operation == std::string("production run") || r.operation == std::string("AVR only")) {
        r.image = "TQ9gen3_ed2_b.hex";
        r.imageSha256 = std::string(64, 'c');
        r.diamexPort = "/dev/ttyACM0";
        r.probeLog =
            "avrdude: AVR device initialized and ready to accept instructions\n"
            "avrdude: device signature = 0x1e960a (probably m644p)\n\n"
            "avrdude done.  Thank you.\n";
        r.resultDialog = "Operation succesfull.\nRemove jumpers JP5, JP7 and JP8.";
        const char* const steps[] = {"-n -q -l \"avrdude.log\"", "-V -q -U lfuse:w:0xf7:m",
                                     "-U flash:w:\"TQ9gen3_ed2_b.hex\":i"};
        for (int step = 0; step < 3; ++step) {
            r.avrdudeRuns.push_back(
                {std::string("\"/var/lib/tq9-bench/avrdude\" -C \"avrdude.conf\" -pm644p ") +
                     steps[step],
                 0, kAvrdudeOutput[step]});
        }
    }
    if (r.operation == std::string("scan-core upload")) {
        r.uploadFile = "/home/op/cores/scancore_v7.dat";
        r.uploadSize = 65536;
        r.uploadSha256 = std::string(64, 'd');
        r.uploadCore = 0;
        r.uploadClosingLine = "Core 0 loaded: 16384 words, sum 1A2B3C4D";
    }
    return r;
}

}  // namespace tq9::bench

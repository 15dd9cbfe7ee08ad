// The days a records filter takes: real calendar days, with as much of a time as the rows
// hold.

#include <gtest/gtest.h>

#include "records/RecordStore.h"

namespace tq9 {
namespace {

TEST(RecordDateTest, TakesRealDaysAndTimesOnly) {
    for (const char* good : {"2026-12-09", "2024-02-29", "2026-12-09T23", "2026-12-09T16:31",
                             "2026-12-09T16:31:59", "2026-12-09T16:31:50Z", "0001-01-01"}) {
        EXPECT_TRUE(RecordDateValid(good)) << good;
    }
    for (const char* bad :
         {"", "2026-13-45", "2026-02-29", "2026-00-10", "2026-12-00", "2026-04-31", "26-12-09",
          "2026-12-9", "2026/12/09", "yesterday", "2026-12-09T24", "2026-12-09T16:60",
          "2026-12-09T16:31:60", "2026-12-09 16:31", "2026-12-09T16:31:50+01", "２０２６-12-09"}) {
        EXPECT_FALSE(RecordDateValid(bad)) << bad;
    }
}

}  // namespace
}  // namespace tq9

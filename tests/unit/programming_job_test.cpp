// The job's own arithmetic: derived flags, FLAGs byte, serial numbers, chip counter.

#include <gtest/gtest.h>

#include "core/config_model.h"
#include "core/programming_job.h"

using namespace tarnel;

// The mode flags themselves are pinned where the window and project files use them.
TEST(ProgrammingJob, SeparateApromEraseOnlyOutsideIcp) {
    ProgrammingJob job;
    // A legacy row with CONFIG words.
    job.programmerType = kTypeIsp;
    job.partIndex = 37;
    job.refreshDerivedState();
    EXPECT_TRUE(job.separateApromErase);
    job.programmerType = kTypeIcp;
    job.refreshDerivedState();
    EXPECT_FALSE(job.separateApromErase);
}

TEST(ProgrammingJob, BuildFlags) {
    ProgrammingJob job;
    job.partIndex = 2;
    job.refreshDerivedState();
    job.updateAprom = job.updateConfig = true;
    EXPECT_EQ(job.buildFlags(), 0x09);

    job.flags = 0xFF;  // as a project file leaves it: bit 5 survives, the others are rebuilt
    job.updateAprom = job.updateConfig = false;
    job.updateLdrom = job.updateIspDownload = true;
    EXPECT_EQ(job.buildFlags(), 0x20 | 0x10 | 0x02);

    job.programmerType = kTypeIsp;
    job.partIndex = 40;
    job.refreshDerivedState();
    job.flags = 0;
    job.updateLdrom = job.updateIspDownload = false;
    job.updateDataFlash = true;
    EXPECT_EQ(job.buildFlags(), 0x40 | 0x04);
    job.programmerType = kTypeIcp;
    job.partIndex = 200;
    job.refreshDerivedState();
    EXPECT_EQ(job.buildFlags(), 0x80 | 0x04);
}

TEST(ProgrammingJob, SerialNumberArithmetic) {
    ProgrammingJob job;
    // Carry from the low half into the high half, and back with a borrow.
    job.serialHigh = 5;
    job.serialLow = 99999990;
    job.incrementHigh = 1;
    job.incrementLow = 25;
    job.advanceSerialNumber();
    EXPECT_EQ(job.serialHigh, 7u);
    EXPECT_EQ(job.serialLow, 15u);
    job.retreatSerialNumber();
    EXPECT_EQ(job.serialHigh, 5u);
    EXPECT_EQ(job.serialLow, 99999990u);

    // Below zero the number wraps modulo 10^16 and both halves stay in range.
    job.serialHigh = 0;
    job.serialLow = 3;
    job.incrementHigh = 0;
    job.incrementLow = 5;
    job.retreatSerialNumber();
    EXPECT_EQ(job.serialHigh, 99999999u);
    EXPECT_EQ(job.serialLow, 99999998u);
    job.advanceSerialNumber();
    EXPECT_EQ(job.serialHigh, 0u);
    EXPECT_EQ(job.serialLow, 3u);
}

TEST(ProgrammingJob, ChipCounter) {
    ProgrammingJob job;
    job.countChips();
    EXPECT_EQ(job.chipCounter, 0u) << "does nothing while the counter is disabled";

    // Counting up to its end is pinned by the update runs; down by a gang's passes here.
    job.chipCounterEnabled = true;
    job.programmerType = kTypeGang | kTypeIcp;
    job.refreshDerivedState();
    job.chipCounterDown = true;
    job.chipCounter = 2;
    job.gangPassCount = 4;
    job.countChips();
    EXPECT_EQ(job.chipCounter, 0u);
    job.chipCounter = 10;
    job.countChips();
    EXPECT_EQ(job.chipCounter, 6u);
}

// Nibbles above 9 (a damaged programmer reply) never leave a half above 99999999.
TEST(ProgrammingJob, DamagedPackedDecimalIsClamped) {
    std::uint32_t high = 0, low = 0;
    serialFromBcd(Bcd8{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, high, low);
    EXPECT_EQ(high, 99999999u);
    EXPECT_EQ(low, 99999999u);
}

TEST(ProgrammingJob, ComPortNameKeepsItsTerminator) {
    ProgrammingJob job;
    EXPECT_EQ(job.comPortText(), "\\\\.\\COM1");
    job.setComPortName("/dev/a-very-long-device-name");
    EXPECT_EQ(job.comPortText().size(), 15u);
    EXPECT_EQ(job.comPortName[15], '\0');
}

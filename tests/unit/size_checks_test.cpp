// Size checks against the selected part and its CONFIG words, and their messages.

#include <gtest/gtest.h>

#include "core/config_model.h"
#include "image/size_checks.h"
#include "testkit/recording_operator.h"

using namespace tarnel;

namespace {

struct Check {
    ProgrammingJob job;
    RecordingOperator op;

    Check(std::uint8_t type, std::uint32_t part) {
        job.programmerType = type;
        job.partIndex = part;
        job.refreshDerivedState();
        job.updateConfig = true;
    }
    void config0(std::uint32_t word) { setConfig0Word(job.configBytes, word); }
    void config1(std::uint32_t word) { setConfig1Word(job.configBytes, word); }
    // The box a check that refuses shows; "passed" when it does not refuse.
    std::string refusal(bool (*check)(ProgrammingJob&, Operator&)) {
        const bool passed = check(job, op);
        return passed ? "passed" : op.boxes().empty() ? "no box" : op.boxes().back();
    }
    std::string aprom(std::uint32_t length) {
        job.imageAprom.length = length;
        return refusal(checkApromSize);
    }
    std::string dataFlash(std::uint32_t length) {
        job.imageDataFlash.length = length;
        return refusal(checkDataFlashSize);
    }
};

}  // namespace

TEST(SizeChecks, LimitFormats) {
    // Whole, two-decimal and byte limits show in the refusals below.
    EXPECT_EQ(limitText(0x4600), "17.5 KB");

    Check c(kTypeIsp, 2);  // QM114: 14 KB of APROM
    EXPECT_EQ(c.aprom(0x3800), "passed");
    EXPECT_EQ(c.aprom(0x3801), "FAIL: Code size for APROM is too large (> 14 KB) !");
    EXPECT_EQ(c.op.lastStatus(), "Ready...");
}

TEST(SizeChecks, DataFlashInsideApromOf32BitPart) {
    Check c(kTypeIcp, 207);  // QK207: 128 KB APROM, DataFlash carved from its top
    c.config0(0xFFFFFFFA);   // DataFlash enabled (bit 0 clear), variable base (bit 2 clear)
    c.config1(0x0001F000);
    c.job.updateDataFlash = true;
    c.job.imageAprom.length = 0x1F000;
    c.job.imageDataFlash.length = 0x2000;
    EXPECT_TRUE(checkApromSize(c.job, c.op));
    EXPECT_TRUE(checkDataFlashSize(c.job, c.op));

    EXPECT_EQ(c.dataFlash(0x2001), "FAIL: Data size for DataFlash is too large (> 8 KB) !");
    EXPECT_EQ(c.refusal(checkApromSize), "FAIL: Total size is too large (> 128 KB) !");
    c.job.imageDataFlash.length = 0x10;
    EXPECT_EQ(c.aprom(0x1F001), "FAIL: Code size for APROM is too large (> 124 KB) !");

    c.config0(0xFFFFFFFE);  // bit 2 set: fixed 4 KB DataFlash, whole APROM for code
    EXPECT_TRUE(checkApromSize(c.job, c.op));
    EXPECT_EQ(c.dataFlash(0x1001), "FAIL: Data size for DataFlash is too large (> 4 KB) !");

    c.config0(0xFFFFFFFF);
    EXPECT_EQ(c.refusal(checkDataFlashSize), "FAIL: DataFlash is not enabled !");
    c.job.updateConfig = false;
    EXPECT_EQ(c.refusal(checkDataFlashSize), "FAIL: DataFlash space is not configured !");

    // A base above the flash end leaves no DataFlash, rather than wrapping round.
    c.job.updateConfig = true;
    c.config0(0xFFFFFFFA);
    c.config1(0x00030000);
    EXPECT_EQ(c.dataFlash(1), "FAIL: Data size for DataFlash is too large (> 0 Bytes) !");
}

TEST(SizeChecks, SonraLdromBitAndReadLimit) {
    Check c(kTypeIcp, 1000);
    c.config0(0xFFFFFFFA);  // bit 2 clear: LDROM disabled, 4 KB more for APROM
    c.config1(0x00023000);  // DataFlash base
    computeReadLimit(c.job);
    EXPECT_EQ(c.job.readLimit, 148480u);
    EXPECT_EQ(c.aprom(0x24001), "FAIL: Code size for APROM is too large (> 144 KB) !");
    c.config0(0xFFFFFFFB);  // DataFlash disabled: the whole span plus the LDROM's 4 KB
    EXPECT_TRUE(checkApromSize(c.job, c.op));
    EXPECT_EQ(c.aprom(0x24401), "FAIL: Code size for APROM is too large (> 145 KB) !");
    c.job.imageLdrom.length = 1;
    EXPECT_EQ(c.refusal(checkLdromSize), "FAIL: LDROM is not enabled !");

    c.config0(0xFFFFFFFF);
    c.job.imageLdrom.length = 0x1001;
    EXPECT_EQ(c.refusal(checkLdromSize), "FAIL: Code size for LDROM is too large (> 4 KB) !");
    computeReadLimit(c.job);
    EXPECT_EQ(c.job.readLimit, 144384u);
}

TEST(SizeChecks, PikeAndFerroCarveDataFlashByConfigByteOne) {
    Check pike(kTypeIcp, 136);  // 16 KB APROM
    pike.config0(0xFFFF30FE);   // DataFlash from 0x3000: 4 KB
    EXPECT_EQ(pike.aprom(0x3001), "FAIL: Code size for APROM is too large (> 12 KB) !");
    EXPECT_EQ(pike.dataFlash(0x1001), "FAIL: Data size for DataFlash is too large (> 4 KB) !");
    pike.config0(0xFFFF50FE);  // base beyond the 16 KB: no DataFlash, not a wrapped limit
    EXPECT_EQ(pike.refusal(checkDataFlashSize),
              "FAIL: Data size for DataFlash is too large (> 0 Bytes) !");

    Check ferro(kTypeIsp, 38);  // legacy, 64 KB APROM
    ferro.config0(0xFFFFF0FE);
    EXPECT_EQ(ferro.aprom(0xF001), "FAIL: Code size for APROM is too large (> 60 KB) !");
    ferro.job.imageDataFlash.length = 0x1000;
    EXPECT_TRUE(checkDataFlashSize(ferro.job, ferro.op));
    ferro.config0(0xFFFFF0FF);
    EXPECT_EQ(ferro.refusal(checkDataFlashSize), "FAIL: DataFlash is not enabled !");
    ferro.job.updateConfig = false;  // the catalogue's largest DataFlash then holds
    EXPECT_EQ(ferro.dataFlash(0xFF01), "FAIL: Data size for DataFlash is too large (> 63.75 KB) !");
}

TEST(SizeChecks, SerialAddress) {
    Check isp(kTypeIsp, 2);
    isp.job.serialAddress = 0xFFFFFF;
    EXPECT_TRUE(checkSerialAddress(isp.job, isp.op)) << "only ICP and ISP by COM Port check";

    Check c(kTypeIcp, 207);
    c.job.updateConfig = false;
    c.job.serialAddress = 0x1002;
    EXPECT_EQ(c.refusal(checkSerialAddress),
              "WARNING: Serial Number address must be a multiple of four (4) !");
    c.job.serialAddress = 0x1FFFC;
    EXPECT_EQ(c.refusal(checkSerialAddress),
              "WARNING: Serial Number address is too large (> 0x1FFF8) !");
    c.job.serialAddress = 0x1FFF8;
    c.job.imageAprom.length = 0x1FFF9;
    EXPECT_EQ(c.refusal(checkSerialAddress),
              "WARNING: Serial Number address must be after the end of APROM code !");
    c.job.imageAprom.length = 0x1FFF8;
    EXPECT_TRUE(checkSerialAddress(c.job, c.op));

    Check com(kTypeIspByCom, 2);  // no APROM-end rule outside ICP
    com.job.serialAddress = 0x10;
    com.job.imageAprom.length = 0x100;
    EXPECT_TRUE(checkSerialAddress(com.job, com.op));
}

// The "Advanced Functions" dialog's field checks and the groups each mode allows.

#include <gtest/gtest.h>

#include "app/advanced_settings.h"
#include "testkit/recording_operator.h"

using namespace tarnel;

namespace {

class AdvancedFixture : public ::testing::Test {
  protected:
    void openIn(std::uint8_t programmerType) {
        job.programmerType = programmerType;
        job.refreshDerivedState();
        dialog.open();
        op.clear();
    }
    const AdvancedState& s() const { return dialog.state(); }

    ProgrammingJob job;
    RecordingOperator op;
    AdvancedSettingsLogic dialog{job, op};
};

TEST_F(AdvancedFixture, GroupsFollowTheMode) {
    openIn(kTypeGang | kTypeIcp);  // usage off, gang on: the dialog test
    EXPECT_TRUE(s().serialGroupEnabled);
    EXPECT_FALSE(s().protocolGroupEnabled);
    openIn(kTypeIsp);
    EXPECT_TRUE(s().usageGroupEnabled);
    EXPECT_FALSE(s().serialGroupEnabled);
    EXPECT_FALSE(s().gangGroupEnabled);
    openIn(kTypeIspByCom);
    EXPECT_FALSE(s().usageGroupEnabled);
    EXPECT_TRUE(s().protocolGroupEnabled);
}

TEST_F(AdvancedFixture, UsageTimes) {
    job.usageTimesHigh = 0xFF;
    job.usageTimesLow = 0xFF;
    openIn(kTypeIcp);
    EXPECT_EQ(s().usageText, "60000");
    dialog.usageEdited("60000");
    EXPECT_EQ(job.usageTimesHigh, 0xEA);
    EXPECT_EQ(job.usageTimesLow, 0x60);
    dialog.usageEdited("");
    EXPECT_EQ(job.usageTimesHigh, 0);
    EXPECT_EQ(job.usageTimesLow, 1);
    EXPECT_EQ(s().usageText, "");  // the field keeps what was typed

    dialog.usageEdited("60001");
    dialog.usageEdited("0");
    dialog.usageEdited("1x");
    EXPECT_EQ(op.boxes(), (std::vector<std::string>{"ERROR: Usage Times should be 1 ~ 60000 !",
                                                    "ERROR: Usage Times should be 1 ~ 60000 !",
                                                    "ERROR: 1x is not a decimal number !"}));
    EXPECT_EQ(job.usageTimesLow, 1);
    EXPECT_EQ(s().usageText, "1");  // rewritten with what the job holds
}

TEST_F(AdvancedFixture, SerialAddress) {
    openIn(kTypeIcp);
    dialog.addressEdited("1fff0");
    EXPECT_EQ(job.serialAddress, 0x1FFF0u);
    EXPECT_EQ(s().endAddressText, "1FFF7");
    dialog.addressEdited("1FFF9");  // its texts: the dialog test
    EXPECT_EQ(job.serialAddress, 0x1FFF8u);
    dialog.addressEdited("12G");
    EXPECT_EQ(job.serialAddress, 0x1FFF8u);
    EXPECT_EQ(op.boxes(), (std::vector<std::string>{
                              "ERROR: SerialNumber starting address should be 0x00000 ~ 0x1FFF8 !",
                              "ERROR: 12G is not a hexadecimal number !"}));
    dialog.addressEdited("");
    EXPECT_EQ(job.serialAddress, 0u);
    EXPECT_EQ(s().endAddressText, "7");
}

TEST_F(AdvancedFixture, SerialNumberIncrementAndCounter) {
    job.serialHigh = 123456789;  // reduced to eight digits on opening
    openIn(kTypeIcp);
    EXPECT_EQ(job.serialHigh, 23456789u);
    EXPECT_EQ(s().incrementText, "1");

    dialog.serialEdited("123456789012");
    EXPECT_EQ(job.serialHigh, 1234u);
    EXPECT_EQ(sixteenDigitText(job.serialHigh, job.serialLow), "0000123456789012");
    dialog.incrementEdited("250");
    EXPECT_EQ(job.incrementHigh, 0u);
    EXPECT_EQ(job.incrementLow, 250u);
    EXPECT_EQ(incrementText(3, 4), "300000004");
    dialog.incrementEdited("2-5");
    EXPECT_EQ(s().incrementText, "250");
    EXPECT_EQ(job.incrementLow, 250u);

    dialog.counterEdited("42");
    EXPECT_EQ(job.chipCounter, 42u);
    dialog.counterEdited("4a");
    EXPECT_EQ(s().counterText, "000042");
    dialog.counterEdited("1000000");
    EXPECT_EQ(job.chipCounter, 999999u);
    EXPECT_EQ(op.boxes(),
              (std::vector<std::string>{"ERROR: 2-5 is not a decimal number !",
                                        "ERROR: 4a is not a decimal number !",
                                        "ERROR: Counter value should be 0 ~ 999999 !"}));
}

}  // namespace

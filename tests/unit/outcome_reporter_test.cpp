// The reporter's reading of boxes: which become outcomes, of which class, and that each is
// heard before the front shows its box.

#include <gtest/gtest.h>

#include "core/outcome_reporter.h"
#include "testkit/recording_operator.h"
#include "testkit/virtual_clock.h"

namespace tarnel {
namespace {

// Remembers each outcome with how many boxes the front had shown when it arrived.
class Heard : public OutcomeSink {
  public:
    explicit Heard(RecordingOperator& front) : front_(front) {}
    void chipOutcome(const ChipOutcome& outcome) override {
        outcomes.push_back(outcome);
        boxesShownBefore.push_back(front_.boxes().size());
    }
    std::vector<ChipOutcome> outcomes;
    std::vector<std::size_t> boxesShownBefore;

  private:
    RecordingOperator& front_;
};

class Reporter : public ::testing::Test {
  protected:
    Reporter() {
        reporter.listeners().add(heard);
        reporter.setLinkContext([this] { return link; });
    }
    RecordingOperator front;
    ProgrammingJob job;
    VirtualClock clock;
    OutcomeReporter reporter{front, job, clock};
    Heard heard{front};
    LinkContext link;
};

TEST_F(Reporter, BoxesBecomeOutcomesOfTheirClassBeforeTheyAreShown) {
    reporter.beginCommand(ChipOperation::Update);
    showFail(reporter, "Update APROM error !");
    reporter.endCommand();
    reporter.beginCommand(ChipOperation::Update);
    link.linkDown = true;
    showFail(reporter, "Receive data error !");
    reporter.endCommand();
    reporter.beginCommand(ChipOperation::Update);
    showWarning(reporter, "Please download first");
    reporter.endCommand();
    reporter.beginCommand(ChipOperation::ChipCheck);
    noteResult(reporter);
    debugMessage(reporter, "TRIM0~4=...");
    reporter.endCommand();
    showFail(reporter, "outside any command");

    ASSERT_EQ(heard.outcomes.size(), 4u);
    EXPECT_EQ(heard.outcomes[0].failureClass, FailureClass::Chip);
    EXPECT_EQ(heard.outcomes[0].failureText, "Update APROM error !");
    EXPECT_EQ(heard.outcomes[1].failureClass, FailureClass::Link);
    EXPECT_EQ(heard.outcomes[2].outcome, Outcome::Warning);
    EXPECT_EQ(heard.outcomes[2].failureClass, FailureClass::Operator);
    EXPECT_EQ(heard.outcomes[3].outcome, Outcome::Pass);
    EXPECT_EQ(heard.boxesShownBefore, (std::vector<std::size_t>{0, 1, 2, 3}));
    EXPECT_EQ(front.boxes().size(), 5u) << "every box still reaches the front";
}

TEST_F(Reporter, NotesShapeTheOutcomes) {
    reporter.beginCommand(ChipOperation::Update);
    noteNotice(reporter);
    showWarning(reporter, "APROM will be erased");
    noteProvisional(reporter, true);
    showFail(reporter, "first connect failed");
    noteProvisional(reporter, false);
    noteSockets(reporter, {SocketNote{true, "1"}, SocketNote{false, ""}, SocketNote{true, "3"},
                           SocketNote{true, "4"}});
    showFail(reporter, "Failed chips:  #2  ");
    showFail(reporter, "a consequence of the first failure");
    reporter.endCommand();

    ASSERT_EQ(heard.outcomes.size(), 4u);
    EXPECT_EQ(heard.outcomes[1].socket, 2);
    EXPECT_EQ(heard.outcomes[1].failureText, "Failed chips:  #2  ");
    EXPECT_EQ(heard.outcomes[2].outcome, Outcome::Pass);
    EXPECT_EQ(heard.outcomes[2].failureText, "");
    const CommandResult result = reporter.lastResult();
    EXPECT_EQ(result.failureClass, FailureClass::Chip);
    EXPECT_EQ(result.passes, 3);
    EXPECT_EQ(result.serialNumbers, (std::vector<std::string>{"1", "3", "4"}));

    // A loop of chips: each chip has its own outcome, and the highest class wins.
    reporter.beginCommand(ChipOperation::Update);
    noteFailureClass(reporter, FailureClass::Link);
    showFail(reporter, "Port cannot be opened !");
    noteNextChip(reporter);
    noteSerialNumber(reporter, "00000000,00000009");
    showPass(reporter, "Chip is successfully updated !", true);
    reporter.endCommand();
    EXPECT_EQ(reporter.lastResult().failureClass, FailureClass::Link);
    EXPECT_EQ(reporter.lastResult().serialNumbers, (std::vector<std::string>{"00000000,00000009"}));
}

}  // namespace
}  // namespace tarnel

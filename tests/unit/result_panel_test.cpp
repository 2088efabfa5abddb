// The result panel's state through a command, the shift totals, and the recent projects.

#include <gtest/gtest.h>

#include "app/recent_projects.h"
#include "app/result_panel.h"
#include "support/scratch_dir.h"

using namespace tarnel;

namespace {

TEST(ResultPanel, KeepsTheStepAFailureCameInAndTheResultAfterTheCommand) {
    ResultPanel panel;
    panel.commandStarted("Update Chip");
    panel.statusShown("Connect the programmer...");
    EXPECT_EQ(panel.stateLine(), "Update Chip: Connect the programmer...");
    // A failure resets the status line before its box; the panel keeps the step.
    panel.statusShown("Ready...");
    panel.detailGiven("Port COM3 gave no answer");
    panel.resultShown(PanelState::Fail, "Programmer is not found !");
    panel.commandEnded();
    EXPECT_EQ(panel.state(), PanelState::Fail);
    EXPECT_EQ(panel.stateLine(), "at: Connect the programmer...");
    EXPECT_EQ(panel.resultText(), "Programmer is not found !");
    EXPECT_EQ(panel.detail(), "Port COM3 gave no answer");

    // A command that shows no box goes back to Ready; a pass carries no old detail or step.
    panel.commandStarted("Read Chip");
    panel.commandEnded();
    EXPECT_EQ(panel.state(), PanelState::Ready);
    panel.commandStarted("Update Chip");
    panel.resultShown(PanelState::Pass, "Chip is successfully updated !");
    EXPECT_EQ(panel.detail(), "");
    EXPECT_EQ(panel.stateLine(), "");
}

// The window's pass, fail and gang runs pin the totals and the tiles; what they cannot show
// is that a verify fills its tile without counting, and that a reset keeps the tiles.
TEST(ResultPanel, VerifiesAreNotCountedAndResetKeepsTheTiles) {
    ResultPanel panel;
    panel.chipOutcome(1, false, true, "", "Failed chips:  #1  ");
    panel.chipOutcome(3, true, false, "", "");
    EXPECT_EQ(panel.totalsText(), "Passed 0 \u00b7 Failed 1 \u00b7 Yield 0.0 %");
    EXPECT_EQ(panel.sockets()[2].state, PanelState::Pass);
    panel.resetTotals();
    EXPECT_EQ(panel.passed() + panel.failed(), 0u);
    EXPECT_EQ(panel.sockets()[0].state, PanelState::Fail);
}

TEST(RecentProjects, NewestFirstEightAtMostAndKeptInTheWorkingDirectory) {
    test::ScratchDir dir;
    RecentProjects recent;
    recent.load(dir.path());
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(recent.add("/p/" + std::to_string(i) + ".TPJ"));
    ASSERT_TRUE(recent.add("/p/5.TPJ"));  // used again: first, once
    ASSERT_TRUE(recent.remove("/p/9.TPJ"));

    RecentProjects reread;
    reread.load(dir.path());
    EXPECT_EQ(reread.paths(),
              (std::vector<std::string>{"/p/5.TPJ", "/p/8.TPJ", "/p/7.TPJ", "/p/6.TPJ", "/p/4.TPJ",
                                        "/p/3.TPJ", "/p/2.TPJ"}));
    EXPECT_EQ(projectDisplayName("/lines/Line 7.tpj"), "Line 7");
    EXPECT_EQ(projectDisplayName("setup.TPJX"), "setup.TPJX");
}

}  // namespace

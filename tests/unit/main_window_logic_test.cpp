// The main window's handlers as operations on the job, checked through the control states
// they leave.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/main_window_logic.h"
#include "app/settings_file.h"
#include "support/ops_fixtures.h"
#include "support/scratch_dir.h"
#include "testkit/loopback_port.h"
#include "testkit/recording_operator.h"
#include "testkit/virtual_clock.h"

using namespace tarnel;
using tarnel::test::ScratchDir;

namespace {

class WindowFixture : public ::testing::Test {
  protected:
    // Starts the window over a settings file made from `setUp` (none when null).
    void start(const std::function<void(ProgrammingJob&)>& setUp = nullptr) {
        if (setUp) {
            ProgrammingJob stored;
            setUp(stored);
            stored.settingsFilePath = settingsPathIn(dir.path());
            ASSERT_TRUE(tarnel::saveSettings(stored, op));
        }
        window.startUp(dir.path());
        op.clear();
    }
    void start(int type, std::uint32_t part) {
        start([=](ProgrammingJob& job) {
            job.programmerType = static_cast<std::uint8_t>(type);
            job.partIndex = part;
        });
    }
    const ControlState& operator[](Control c) const { return window.state()[c]; }
    ProgrammingJob& job() { return bench.job(); }

    ScratchDir dir;
    RecordingOperator op;
    VirtualClock clock;
    LoopbackPortFactory ports;
    Workbench bench{op, clock, ports};
    MainWindowLogic window{bench};
};

TEST_F(WindowFixture, StartsFromSettingsFileWithEveryControlSet) {
    start([](ProgrammingJob& job) {
        job.programmerType = kTypeGang | kTypeIcp;
        job.partIndex = 207;
        tarnel::testing::setSerial(job, 0, 12, 345);
    });
    const WindowState& s = window.state();
    EXPECT_TRUE(s[Control::GangBox].checked);
    EXPECT_FALSE(s[Control::IspRadio].enabled);
    EXPECT_FALSE(s[Control::ComIspRadio].enabled);
    EXPECT_EQ(s.familyList.entries.at(s.familyList.selected), "Vexa_Kite");
    EXPECT_EQ(s.partList.selected, 7u);
    EXPECT_EQ(s.tabs,
              (std::vector<std::string>{"APROM Buffer", "DataFlash Buffer", "LDROM Buffer"}));
    // Without files nothing can be sent. The CONFIG tick of a 32-bit part, the gang labels
    // and the S/N and counter texts are pinned by the window tests.
    EXPECT_FALSE(s[Control::DownloadProgrammer].enabled);
    EXPECT_TRUE(s[Control::ProgrammerInformation].enabled);
    EXPECT_TRUE(s[Control::SerialField].enabled);
    EXPECT_EQ(s[Control::ProgTypeLabel].text, "Prog. Type");
}

TEST_F(WindowFixture, ModeRadiosExchangePartsAndKeepTheGangBit) {
    start(kTypeGang | kTypeIcp, 850);
    window.clickGang(false);
    EXPECT_EQ(job().programmerType, kTypeIcp);
    window.clickGang(true);
    window.clickIsp();
    EXPECT_EQ(job().programmerType, 0x40);
    EXPECT_EQ(job().partIndex, 2u);  // the part last used outside ICP
    EXPECT_EQ(job().savedIcpPartIndex, 850u);
    EXPECT_TRUE(window.state()[Control::IspRadio].checked);
    EXPECT_FALSE(window.state().familyList.enabled);
    // Row 2 has no DataFlash: outside ICP only the APROM tab; the legacy labels apply.
    EXPECT_EQ(window.state().tabs, std::vector<std::string>{"APROM Buffer"});
    EXPECT_EQ(window.state()[Control::VerifyChip].text, "Verify\nAPROM");
    EXPECT_EQ(window.state()[Control::ReadChip].text, "Read\nCONFIG");

    window.clickComPortIsp();
    bench.waitForWorker();  // the COM-port search holds the busy guard while it runs
    EXPECT_EQ(job().programmerType, 0x02);
    EXPECT_FALSE(window.state()[Control::GangBox].checked);
    EXPECT_FALSE(window.state()[Control::GangBox].enabled);
    window.clickGang(true);  // no gang mode in ISP by COM Port
    EXPECT_FALSE(job().gangMode);
    EXPECT_TRUE(window.state()[Control::ProductionBox].enabled);
    EXPECT_FALSE(window.state()[Control::ProgrammerInformation].enabled);
    EXPECT_EQ(window.state().partList.entries.at(40), job().catalogue.partAt(136).partNumber);

    window.clickProductionMode(true);  // switched off again by the busy test's Exit
    EXPECT_EQ(job().programmerType, 0x82);
    EXPECT_TRUE(job().productionMode);

    window.clickIcp();
    EXPECT_EQ(job().programmerType, 0x01);
    EXPECT_EQ(job().partIndex, 850u);
    EXPECT_TRUE(window.state().familyList.enabled);
    EXPECT_EQ(window.state()[Control::VerifyChip].text, "Verify Chip");
}

TEST_F(WindowFixture, SeparatorPartDisablesEveryCommandAndItem) {
    start([](ProgrammingJob& job) { job.programmerType = kTypeIsp; });
    window.choosePart(45);  // a masked legacy row reads "-" in ISP
    ASSERT_EQ(job().partIndex, 45u);
    for (Control c : {Control::DownloadProgrammer, Control::UpdateChip, Control::VerifyChip,
                      Control::ReadChip, Control::ConfigSetting, Control::ConfigBox,
                      Control::ApromBox, Control::DataFlashBox, Control::LdromBox}) {
        EXPECT_FALSE(window.state()[c].enabled) << static_cast<int>(c);
    }
}

TEST_F(WindowFixture, LoadFileTicksTheRegionAndEnablesTheCommands) {
    start(kTypeIcp, 100);
    const auto request = window.loadFileRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->filters.front().first, "HEX Files (*.HEX)");

    window.loadFile(dir.write("app.bin", std::vector<std::uint8_t>{1, 2, 3, 0xFA}));
    const WindowState& s = window.state();
    EXPECT_TRUE(s[Control::ApromBox].checked && s[Control::ApromBox].enabled);
    EXPECT_EQ(s[Control::SizeField].text, "4 Bytes");
    EXPECT_EQ(s[Control::ChecksumField].text, "0x0100");
    EXPECT_EQ(s.imageBytes, (std::vector<std::uint8_t>{1, 2, 3, 0xFA}));
    EXPECT_TRUE(s[Control::DownloadProgrammer].enabled);
    EXPECT_TRUE(s[Control::UpdateChip].enabled);
    EXPECT_TRUE(s[Control::DownloadUpdateIsp].enabled);

    // The DataFlash tab offers only "All Files"; its empty view keeps the label it was given.
    window.chooseTab(1);
    EXPECT_EQ(s[Control::SizeLabel].text, "Data Size:");
    EXPECT_EQ(window.loadFileRequest()->filters.size(), 1u);

    window.clickItem(ImageRegion::Aprom, false);
    EXPECT_FALSE(s[Control::DownloadProgrammer].enabled);
}

// A file that fails to load is not shown with an older size and checksum, and no command
// that would write it starts.
TEST_F(WindowFixture, RejectedImageStopsTheCommandsBeforeTheLink) {
    start(kTypeIcp, 100);
    const std::string path = dir.write("app.hex", std::string(":0400000001020304F2\n"
                                                              ":00000001FF\n"));
    window.loadFile(path);
    ASSERT_EQ(window.state()[Control::SizeField].text, "4 Bytes");
    dir.write("app.hex", std::string(":0400000001020304F3\n:00000001FF\n"));  // bad checksum
    op.clear();

    EXPECT_FALSE(window.downloadProgrammer());
    EXPECT_FALSE(window.updateChip());
    EXPECT_FALSE(window.verifyChip());
    EXPECT_TRUE(ports.openAttempts().empty());
    EXPECT_EQ(op.boxes().front(), "FAIL: Hex_to_Bin conversion failed !");
    const WindowState& s = window.state();
    window.chooseTab(0);
    EXPECT_EQ(s[Control::SizeField].text, "");
    EXPECT_EQ(s[Control::ChecksumField].text, "");
    EXPECT_EQ(job().imageAprom.length, 0u);
}

TEST_F(WindowFixture, BusyRefusesEveryChangeButProductionModeOff) {
    start(kTypeIcp, 850);
    window.chooseTab(2);
    ports.setTable({"\\\\.\\COM1"});
    job().busy = true;
    window.clickIsp();
    EXPECT_EQ(job().programmerType, kTypeIcp);
    EXPECT_TRUE(window.state()[Control::IcpRadio].checked);
    EXPECT_FALSE(window.state()[Control::IspRadio].checked);
    window.chooseTab(0);
    EXPECT_EQ(window.state().currentTab, 2u);
    window.clickGang(true);
    EXPECT_FALSE(job().gangMode);
    EXPECT_FALSE(window.state()[Control::GangBox].checked);
    EXPECT_EQ(window.trigger(), TriggerOutcome::Busy);
    EXPECT_FALSE(window.mayOpenAdvancedFunctions());
    EXPECT_FALSE(window.firmwareUpdate());
    EXPECT_TRUE(ports.openAttempts().empty());  // the link was left to the worker
    EXPECT_FALSE(window.loadFileRequest());
    // The refused controls look disabled, with the reason in their tooltip; "P.M." does not.
    const WindowState shown = window.shownState();
    for (Control c : {Control::UpdateChip, Control::LoadProject, Control::PartList,
                      Control::ImageTabs, Control::Exit})
        EXPECT_FALSE(shown[c].enabled) << static_cast<int>(c);
    EXPECT_EQ(shown[Control::ProductionBox].enabled,
              window.state()[Control::ProductionBox].enabled);
    EXPECT_NE(window.tooltip(Control::UpdateChip).find("(F5)\nDisabled: Not while a command runs."),
              std::string::npos);
    EXPECT_EQ(window.exit(), ExitOutcome::Stay);

    // Production mode is switched off while busy, which ends a production loop.
    job().programmerType = kTypeIspByCom | kTypeProduction;
    job().productionMode = true;
    EXPECT_TRUE(window.shownState()[Control::Exit].enabled);  // Exit acts in production mode
    EXPECT_EQ(window.exit(), ExitOutcome::Stay);
    EXPECT_EQ(job().programmerType, kTypeIspByCom);
    EXPECT_FALSE(job().productionMode);
    EXPECT_FALSE(window.state()[Control::ProductionBox].checked);
    job().busy = false;
}

TEST_F(WindowFixture, GangVerifyOnlyRelabelsAfterTheAdvancedDialog) {
    start(kTypeGang | kTypeIcp, 200);
    job().gangVerifyOnly = true;
    window.advancedClosed();
    EXPECT_EQ(window.state()[Control::ItemsGroup].text, "Items to be Verified");
    EXPECT_EQ(window.state()[Control::UpdateChip].text, "Verify Chips");
    EXPECT_FALSE(window.state()[Control::ReadChip].enabled);
    job().gangVerifyOnly = false;
    window.advancedClosed();
    EXPECT_EQ(window.state()[Control::ItemsGroup].text, "Items to be Updated");
    EXPECT_TRUE(window.state()[Control::ReadChip].enabled);
    EXPECT_FALSE(window.state()[Control::VerifyChip].enabled);  // no file yet
}

TEST_F(WindowFixture, ExitSavesSettings) {
    start(kTypeIcp, 120);
    std::filesystem::remove(settingsPathIn(dir.path()));
    EXPECT_EQ(window.exit(), ExitOutcome::Quit);
    ProgrammingJob reread;
    reread.settingsFilePath = settingsPathIn(dir.path());
    ASSERT_TRUE(loadSettings(reread));
    EXPECT_EQ(reread.partIndex, 120u);
}

}  // namespace

TEST_F(WindowFixture, ComPortIspSearchesThePortsAndTakesTheOperatorsChoice) {
    LoopbackLine first(clock), second(clock);
    ports.setTable({"/dev/ttyUSB0", "/dev/ttyUSB1"});
    ports.attach("/dev/ttyUSB0", first);
    ports.attach("/dev/ttyUSB1", second);
    dir.write("GUI_ComPortISP.LOG", std::string_view("/dev/ttyUSB1"));
    start();

    window.clickComPortIsp();
    bench.waitForWorker();
    window.commandEnded();
    EXPECT_FALSE(bench.busy());
    const ListState& list = window.state().comPortList;
    ASSERT_EQ(list.entries, (std::vector<std::string>{"ttyUSB0", "ttyUSB1"}));
    EXPECT_EQ(list.selected, 1u) << "the remembered port is selected";
    EXPECT_TRUE(window.state()[Control::ComPortList].enabled);

    window.chooseComPort(0);
    EXPECT_EQ(window.state().comPortList.selected, 0u);
    EXPECT_EQ(bench.isp().selectedPort(), 0);
}

// What the window adds for an operator at a line: the result panel through PASS and FAIL runs
// and a gang run, the refused commands looking disabled while one runs, detail lines under
// the boxes, projects saved, loaded, recent and dropped, the question before closing a busy
// window, and the window on a simulated programmer behind a pseudo-terminal.

#include <gtest/gtest.h>

#include <functional>

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTabBar>
#include <QUrl>

#include "gui/gui_support.h"
#include "link/port_table.h"
#include "link/posix_serial_port.h"
#include "link/programmer_kind.h"
#include "support/link_bench.h"
#include "support/ops_fixtures.h"
#include "ui/hex_view.h"
#include "ui/pty_simulator.h"
#include "ui/result_dialog.h"
#include "ui/result_panel_widget.h"

using namespace tarnel;
using namespace tarnel::testing;
using tarnel::ui::MainWindow;

namespace {

constexpr std::uint8_t kVexa = 0xAD;  // ICP_Vexa serves the 32-bit parts

QPushButton* button(MainWindow& w, Control c) {
    return qobject_cast<QPushButton*>(w.control(c));
}

// Clicks a command, calls `whileRunning` before the worker's box can show, and waits until
// the window has taken its end; returns "TITLE: text | detail" of the box that ended it.
QString runCommand(MainWindow& w, Control c, const std::function<void()>& whileRunning = {}) {
    QString seen;
    const auto handled = whenModal([&](QWidget* box) {
        auto* result = qobject_cast<ui::ResultDialog*>(box);
        seen = box->windowTitle() + ": " + (result ? result->messageText() : boxText(box));
        if (result && !result->detailText().isEmpty())
            seen += " | " + result->detailText();
        closeBox(box);
    });
    bool ended = false;
    QObject::connect(&w, &MainWindow::commandEnded, [&] { ended = true; });
    button(w, c)->click();
    if (whileRunning)
        whileRunning();
    EXPECT_TRUE(QTest::qWaitFor([&] { return *handled && ended; }, 20000)) << seen.toStdString();
    return seen;
}

sim::Scenario vexaWith(std::vector<sim::SimChip> chips = {}) {
    sim::Scenario scenario;
    scenario.kind = kVexa;
    scenario.sockets = std::move(chips);
    return scenario;
}

// Part 300 with an APROM file, S/N programming and the chip counter on.
void singleJob(ProgrammingJob& job) {
    job.programmerType = kTypeIcp;
    job.partIndex = 300;
    setSerial(job, 0x1000, 0, 5);
    job.chipCounterEnabled = true;
}

void loadImage(WindowBench& bench, const std::string& name, std::vector<std::uint8_t> bytes) {
    const std::string path = bench.dir.write(name, bytes);
    bench.window->setImagePathChooser(
        [path](const LoadFileRequest&) { return QString::fromStdString(path); });
    button(*bench.window, Control::LoadFile)->click();
}

// A window over the single job with an APROM file loaded and a Vexa programmer on the line.
MainWindow& readyWindow(WindowBench& bench) {
    bench.writeSettings(singleJob);
    bench.addDevice(vexaWith());
    MainWindow& w = bench.start();
    loadImage(bench, "app.bin", std::vector<std::uint8_t>(0x300, 0x11));
    return w;
}

// A gang window on an 8051 part with S/N programming, whose programmer's first socket holds
// a chip with a wrong device id.
MainWindow& gangWindow(WindowBench& bench) {
    bench.writeSettings([](ProgrammingJob& job) {
        job.programmerType = kTypeIcp | kTypeGang;
        job.partIndex = 100;
        setSerial(job, 0x700, 0, 98);
    });
    sim::SimChip wrong;
    wrong.wrongDeviceId = true;
    sim::Scenario scenario = gangScenario();
    scenario.sockets = {wrong};
    bench.addDevice(scenario);
    return bench.start();
}

// Sends a drag of one local file and its drop to the window at a point of `over`.
void dropOn(MainWindow& w, QWidget* over, QPoint at, const std::string& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    const QPoint point = over->mapTo(&w, at);
    QDragEnterEvent enter(point, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(point), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
}

TEST(OperatorWindowTest, PanelFollowsPassAndFailRunsAndCountsTheShift) {
    WindowBench bench;
    MainWindow& w = readyWindow(bench);
    ui::ResultPanelWidget& panel = *w.resultPanel();
    EXPECT_EQ(panel.stateWord()->text(), "Ready");

    // While the update runs the panel says so, and the command looks refused (which commands
    // are is the window logic's).
    const QString passed = runCommand(w, Control::UpdateChip, [&] {
        EXPECT_EQ(panel.stateWord()->text(), "RUNNING");
        EXPECT_TRUE(panel.stateLine()->text().startsWith("Update Chip"));
        EXPECT_FALSE(button(w, Control::UpdateChip)->isEnabled());
        EXPECT_TRUE(
            button(w, Control::UpdateChip)->toolTip().contains("Not while Update Chip runs"));
    });

    // The box names the serial number the chip got; the worker stepped it and the counter,
    // and the window's fields show both.
    EXPECT_EQ(passed,
              "PASS: Chip is successfully updated !\n\n( S/N='00000000,00000005' at address "
              "0x1000 )");
    EXPECT_EQ(qobject_cast<QLineEdit*>(w.control(Control::SerialField))->text(),
              "00000000,00000006");
    EXPECT_EQ(qobject_cast<QLineEdit*>(w.control(Control::CounterField))->text(), "000,001");
    EXPECT_EQ(panel.stateWord()->text(), "PASS");
    EXPECT_TRUE(panel.resultText()->text().startsWith("Chip is successfully updated !"));
    EXPECT_EQ(panel.serialText()->text(), "00000000,00000006");
    EXPECT_EQ(panel.counterText()->text(), "000,001");
    EXPECT_EQ(panel.totalsText()->text(), QString::fromUtf8("Passed 1 · Failed 0 · Yield 100.0 %"));
    EXPECT_EQ(panel.programmerText()->text(), QString::fromUtf8("COM1 · ICP_Vexa · fw 0x0619"));
    EXPECT_TRUE(button(w, Control::UpdateChip)->isEnabled());

    // The next chip has a wrong device id: FAIL, counted, and the text stays after the box.
    sim::SimChip wrong;
    wrong.wrongDeviceId = true;
    bench.addDevice(vexaWith({wrong}));
    const QString box = runCommand(w, Control::UpdateChip);
    EXPECT_TRUE(box.startsWith("FAIL: ")) << box.toStdString();
    EXPECT_EQ(panel.stateWord()->text(), "FAIL");
    EXPECT_EQ(panel.resultText()->text(), box.mid(6).section(" | ", 0, 0));
    EXPECT_EQ(panel.totalsText()->text(), QString::fromUtf8("Passed 1 · Failed 1 · Yield 50.0 %"));
    EXPECT_FALSE(panel.stateLine()->text().isEmpty());  // the step it failed in
    EXPECT_NE(w.statusLine()->text(), panel.stateLine()->text());

    panel.resetTotalsButton()->click();
    EXPECT_EQ(panel.totalsText()->text(), QString::fromUtf8("Passed 0 · Failed 0"));
}

TEST(OperatorWindowTest, GangRunFillsFourSocketTiles) {
    WindowBench bench;
    MainWindow& w = gangWindow(bench);
    ui::ResultPanelWidget& panel = *w.resultPanel();
    EXPECT_TRUE(panel.socketTile(1)->isVisible());
    loadImage(bench, "g.bin", std::vector<std::uint8_t>(0x200, 8));
    EXPECT_EQ(runCommand(w, Control::DownloadProgrammer),
              "PASS: Gang Programmer is successfully downloaded !");

    EXPECT_EQ(runCommand(w, Control::UpdateChip), "FAIL: Failed chips:  #1  ");
    EXPECT_TRUE(panel.socketText(1)->text().startsWith("#1  FAIL"));
    EXPECT_TRUE(panel.socketText(1)->text().contains("Failed chips:  #1"));
    for (int socket = 2; socket <= 4; ++socket) {
        EXPECT_TRUE(
            panel.socketText(socket)->text().startsWith(QStringLiteral("#%1  PASS").arg(socket)));
        EXPECT_TRUE(panel.socketText(socket)->text().endsWith(
            QStringLiteral("S/N 00000000,%1").arg(97 + socket, 8, 10, QLatin1Char('0'))));
    }
    EXPECT_EQ(panel.totalsText()->text(), QString::fromUtf8("Passed 3 · Failed 1 · Yield 75.0 %"));
}

// A project saved through the window names itself in the title and the status line, comes
// back in the mode it was saved in, and a new window offers it again; a dropped file loads
// into the tab it is dropped on, and a dropped project loads. Before that, a run with no
// programmer shows its detail line.
TEST(OperatorWindowTest, ProjectsSavedLoadedOfferedAndDropped) {
    WindowBench bench;
    bench.writeSettings(kTypeIcp, 207);  // APROM, DataFlash and LDROM tabs
    const std::string image = bench.dir.write("Blinky.bin", std::vector<std::uint8_t>(300, 0x5A));
    const std::string project = bench.dir.file("Line7.TPJ");
    MainWindow& w = bench.start();
    ProgrammingJob& job = w.workbench().job();
    w.setImagePathChooser([&](const LoadFileRequest&) { return QString::fromStdString(image); });
    w.setProjectPathChooser([&](bool) { return QString::fromStdString(project); });
    button(w, Control::LoadFile)->click();
    // No programmer answers on COM1: the detail line under the box shows in the box and in
    // the panel (what it says is the link's).
    const QString box = runCommand(w, Control::UpdateChip);
    EXPECT_TRUE(box.startsWith("FAIL: Programmer is not found ! | Port COM1 "))
        << box.toStdString();
    EXPECT_TRUE(w.resultPanel()->detailText()->text().startsWith("Port COM1 "));
    button(w, Control::SaveProject)->click();
    ASSERT_FALSE(test::readBytes(project).empty());
    EXPECT_EQ(w.statusLine()->text(), "Project saved: Line7");
    EXPECT_TRUE(w.windowTitle().endsWith("Line7"));

    // While a command runs a click on a box changes nothing, and the box shows so.
    auto* aprom = qobject_cast<QCheckBox*>(w.control(Control::ApromBox));
    job.busy = true;
    aprom->click();
    EXPECT_TRUE(aprom->isChecked());
    EXPECT_TRUE(job.updateAprom);
    job.busy = false;

    auto* family = qobject_cast<QComboBox*>(w.control(Control::FamilyList));
    family->setCurrentIndex(family->findText("Vexa_Lark"));
    ASSERT_EQ(job.partIndex, 800u);
    button(w, Control::LoadProject)->click();
    // A loaded project brings the mode it was saved in (single here); the Gang box switches.
    EXPECT_EQ(job.partIndex, 207u);
    EXPECT_EQ(family->currentText(), "Vexa_Kite");
    auto* gang = qobject_cast<QCheckBox*>(w.control(Control::GangBox));
    EXPECT_FALSE(gang->isChecked());
    gang->click();
    EXPECT_TRUE(job.gangMode);
    EXPECT_EQ(button(w, Control::UpdateChip)->text(), "Update Chips");
    EXPECT_EQ(qobject_cast<QLineEdit*>(w.control(Control::FileNameField))->text(),
              "Line7.TPJ\\Blinky.bin");
    EXPECT_EQ(w.hexView()->bytes().size(), 300u);

    // A .bin dropped on the LDROM tab goes into LDROM.
    QTabBar* tabs = w.imageTabs();
    const std::string loader = bench.dir.write("loader.bin", std::vector<std::uint8_t>(64, 0x5A));
    dropOn(w, tabs, tabs->tabRect(2).center(), loader);
    EXPECT_EQ(job.imageLdrom.length, 64u);
    EXPECT_EQ(tabs->currentIndex(), 2);
    EXPECT_TRUE(job.updateLdrom);
    button(w, Control::SaveProject)->click();

    // A new window on the same directory offers the project again; a dropped .TPJ loads it.
    bench.window.reset();
    MainWindow& again = bench.start();
    emit again.recentMenu()->aboutToShow();
    ASSERT_EQ(again.recentMenu()->actions().size(), 1);
    EXPECT_EQ(again.recentMenu()->actions().front()->text(), "Line7");
    EXPECT_EQ(again.windowTitle(), "Corvale Tarnel Programmer, v6.19");
    dropOn(again, again.hexView(), QPoint(5, 5), project);
    EXPECT_TRUE(again.windowTitle().endsWith("Line7"));
    EXPECT_EQ(again.workbench().job().imageLdrom.length, 64u);
}

// Closing while the worker waits for its PASS box asks; "No" keeps the window. "Yes" lets the
// worker finish first, and only then are the settings written and the window gone.
TEST(OperatorWindowTest, ClosingWhileBusyAsksAndWaitsForTheWorker) {
    WindowBench bench;
    MainWindow& w = readyWindow(bench);
    bool yes = false, closed = false;
    int asked = 0;
    w.setCloseConfirmer([&] {
        ++asked;
        return yes;
    });
    QObject::connect(&w, &MainWindow::windowClosed, [&] { closed = true; });
    bool ended = false;
    QObject::connect(&w, &MainWindow::commandEnded, [&] { ended = true; });
    auto handled = whenModal([&](QWidget* box) {
        w.close();
        EXPECT_TRUE(w.isVisible());
        closeBox(box);
    });
    button(w, Control::UpdateChip)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return *handled && ended; }, 20000));
    EXPECT_EQ(asked, 1);

    yes = true;
    handled = whenModal([&](QWidget*) {
        w.close();
        EXPECT_FALSE(closed);  // not before the worker has ended
    });
    button(w, Control::UpdateChip)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, 20000));
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(w.isVisible());
    ProgrammingJob saved;
    saved.settingsFilePath = settingsPathIn(bench.dir.path());
    ASSERT_TRUE(loadSettings(saved));
    EXPECT_EQ(saved.serialLow, 7u);
    EXPECT_EQ(saved.chipCounter, 2u);
}

// What `tarnel-gui --simulate` does: a simulated programmer on a pseudo-terminal, on real
// time and the real port code, with the terminal first in the port table.
TEST(CommandsTest, SimulatedProgrammerOnAPseudoTerminal) {
    test::ScratchDir dir;
    const std::string scenario =
        dir.write("single.json", R"({"device": "single", "kind": "ICP_Vexa"})");
    ui::PtySimulator simulator;
    std::string error;
    const auto path = simulator.start(scenario, error);
    ASSERT_TRUE(path) << error;
    ::setenv("TARNEL_PORTS", path->c_str(), 1);
    SystemClock clock;
    PosixPortFactory ports(clock);
    {
        ui::MainWindow w(clock, ports);
        w.startUp(QString::fromStdString(dir.path()), {});
        w.workbench().job().setComPortName(rememberedNameFor(*path, ports.portTable()));
        w.show();
        BoxCloser boxes;
        qobject_cast<QPushButton*>(w.control(Control::ProgrammerInformation))->click();
        // The programmer was found and asked; a new one holds no setup yet.
        EXPECT_EQ(boxes.seen,
                  std::vector<QString>{"WARNING: Programmer has not been downloaded yet !"});
        EXPECT_EQ(qobject_cast<QLabel*>(w.control(Control::ProgTypeLabel))->text(),
                  QString::fromLatin1(rowOfKind(kVexa)->label.data(),
                                      static_cast<qsizetype>(rowOfKind(kVexa)->label.size())));
    }
    ::unsetenv("TARNEL_PORTS");
}

}  // namespace

// Commands from the window against the in-process simulated programmer: each ends in its
// result box, and the window shows what the worker changed.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/gui_support.h"
#include "link/port_table.h"
#include "link/posix_serial_port.h"
#include "link/programmer_kind.h"
#include "ui/pty_simulator.h"
#include "ui/result_dialog.h"

using namespace tarnel;
using namespace tarnel::testing;

namespace {

constexpr std::uint8_t kVexa = 0xAD;  // ICP_Vexa serves the 32-bit parts

// A window on part 300 (a 32-bit part) with an APROM file loaded, S/N programming and the
// chip counter on, and a simulated programmer with the given faults.
struct CommandBench : WindowBench {
    explicit CommandBench(std::vector<sim::Fault> faults = {}) {
        writeSettings([](ProgrammingJob& job) {
            job.programmerType = kTypeIcp;
            job.partIndex = 300;
            job.serialEnabled = true;
            job.serialAddress = 0x1000;
            job.serialLow = 5;
            job.chipCounterEnabled = true;
        });
        sim::Scenario scenario;
        scenario.kind = kVexa;
        scenario.faults = std::move(faults);
        addDevice(scenario);
        const std::string image = dir.write("app.bin", std::vector<std::uint8_t>(0x300, 0x11));
        ui::MainWindow& w = start();
        w.setImagePathChooser(
            [image](const LoadFileRequest&) { return QString::fromStdString(image); });
        button(Control::LoadFile)->click();
    }

    QPushButton* button(Control c) { return qobject_cast<QPushButton*>(window->control(c)); }
    QString field(Control c) { return qobject_cast<QLineEdit*>(window->control(c))->text(); }

    // Clicks the command button and returns "TITLE: text" of the result box that ends it,
    // after the window has taken the command's end.
    QString run(Control c) {
        QString seen;
        const auto handled = whenModal([&](QWidget* box) {
            auto* result = qobject_cast<ui::ResultDialog*>(box);
            seen = box->windowTitle() + ": " + (result ? result->messageText() : boxText(box));
            closeBox(box);
        });
        bool ended = false;
        QObject::connect(window.get(), &ui::MainWindow::commandEnded, [&] { ended = true; });
        button(c)->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return *handled && ended; }, 20000))
            << seen.toStdString();
        return seen;
    }
};

TEST(CommandsTest, DownloadAndUpdateEndInThePassBox) {
    CommandBench bench;
    EXPECT_EQ(bench.run(Control::DownloadProgrammer),
              "PASS: Programmer is successfully downloaded !");
    EXPECT_EQ(bench.window->statusLine()->text(), "Ready...");
    EXPECT_EQ(qobject_cast<QLabel*>(bench.window->control(Control::ProgTypeLabel))->text(),
              QString::fromLatin1(rowOfKind(kVexa)->label.data(),
                                  static_cast<qsizetype>(rowOfKind(kVexa)->label.size())));

    // The PASS box names the serial number the chip got.
    EXPECT_EQ(bench.run(Control::UpdateChip),
              "PASS: Chip is successfully updated !\n\n( S/N='00000000,00000005' at address "
              "0x1000 )");
    // The worker stepped the serial number and the counter; the window shows both.
    EXPECT_EQ(bench.field(Control::SerialField), "00000000,00000006");
    EXPECT_EQ(bench.field(Control::CounterField), "000,001");
    EXPECT_TRUE(bench.devices.front()->errors().empty());
}

TEST(CommandsTest, InjectedFaultEndsInTheFailBox) {
    CommandBench bench({sim::Fault{sim::Fault::Kind::WrongByte, 5, 1, 0x00, 0}});
    EXPECT_EQ(bench.run(Control::DownloadProgrammer), "FAIL: Response error !");
    EXPECT_FALSE(bench.window->workbench().busy());
    EXPECT_TRUE(bench.button(Control::DownloadProgrammer)->isEnabled());
}

TEST(CommandsTest, ClosingWhileTheWorkerWaitsForItsBoxLetsItFinishFirst) {
    CommandBench bench;
    ui::MainWindow& w = *bench.window;
    // The window is closed while the PASS box of the update is open: the box goes, the
    // worker finishes, and only then are the settings written and the window gone.
    QString seen;
    bool closed = false;
    int asked = 0;
    w.setCloseConfirmer([&] { return ++asked > 0; });
    QObject::connect(&w, &ui::MainWindow::windowClosed, [&] { closed = true; });
    const auto handled = whenModal([&](QWidget* box) {
        seen = box->windowTitle();
        w.close();
        EXPECT_FALSE(closed);  // not before the worker has ended
    });
    qobject_cast<QPushButton*>(w.control(Control::UpdateChip))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return *handled; }, 20000));
    EXPECT_EQ(seen, "PASS");
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, 20000));
    EXPECT_EQ(asked, 1);  // closing while busy asks once
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.workbench().busy());
    ProgrammingJob saved;
    saved.settingsFilePath = settingsPathIn(bench.dir.path());
    ASSERT_TRUE(loadSettings(saved));
    EXPECT_EQ(saved.serialLow, 6u);
    EXPECT_EQ(saved.chipCounter, 1u);
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

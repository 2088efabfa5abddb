// The line window's tiles follow their stations: reports come from station threads and reach
// the tiles, their colours and the line's totals on the window's thread.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <thread>

#include "gui/gui_support.h"
#include "ui/line_window.h"
#include "ui/result_panel_widget.h"

using namespace tarnel;

namespace {

LineSetup twoStations() {
    LineSetup setup;
    setup.path = "/line/line.json";
    setup.stations = {{"A", StationKind::Programmer, "/dev/ttyUSB0", "/line/w.prj", ""},
                      {"B", StationKind::IspComPort, "/dev/ttyUSB1", "/line/w.prj", ""}};
    return setup;
}

StationStatus status(const std::string& name, StationState state, const std::string& result,
                     unsigned passed, unsigned failed) {
    StationStatus s;
    s.name = name;
    s.port = name == "A" ? "/dev/ttyUSB0" : "/dev/ttyUSB1";
    s.kind = name == "A" ? "ICP" : "ISP by COM Port";
    s.state = state;
    s.lastResult = result;
    s.passed = passed;
    s.failed = failed;
    return s;
}

QString borderColour(const QFrame* frame) {
    const QString style = frame->styleSheet();
    const auto at = style.indexOf(QLatin1String("solid "));
    return at < 0 ? QString() : style.mid(at + 6, 7);
}

}  // namespace

TEST(LineWindow, TilesFollowTheirStations) {
    ui::LineWindow window(twoStations());
    window.show();
    const auto& a = window.tile(0);
    const auto& b = window.tile(1);
    EXPECT_EQ(a.state->text(), "Starting");
    EXPECT_EQ(a.start->text(), "Start (F1/1)");
    EXPECT_FALSE(a.start->isEnabled()) << "nothing to start before the line runs";

    // Reports come from the stations' own threads, in the order each station makes them.
    std::thread stations([&window] {
        StationStatus passed = status("A", StationState::Ready, "PASS", 1, 0);
        passed.serial = "00000000,00001000";
        window.listener().stationChanged(status("A", StationState::Busy, "", 0, 0));
        window.listener().stationChanged(passed);
        StationStatus failed = status("B", StationState::Ready, "FAIL", 2, 1);
        failed.lastText = "Chip not ready !";
        window.listener().stationChanged(status("B", StationState::Busy, "PASS", 2, 0));
        window.listener().stationChanged(failed);
    });
    stations.join();
    EXPECT_EQ(a.state->text(), "Starting") << "widgets change on the window's thread only";
    QCoreApplication::processEvents();

    EXPECT_EQ(a.state->text(), "Ready");
    EXPECT_EQ(a.where->text(), "ttyUSB0 \u00b7 ICP");
    EXPECT_EQ(a.result->text(), "PASS");
    EXPECT_EQ(a.serial->text(), "S/N 00000000,00001000");
    EXPECT_EQ(a.totals->text(), "Passed 1 \u00b7 Failed 0 \u00b7 Yield 100.0 %");
    EXPECT_EQ(borderColour(a.frame), ui::stateColour(PanelState::Pass).name());
    EXPECT_EQ(b.result->text(), "FAIL: Chip not ready !");
    EXPECT_FALSE(b.serial->isVisibleTo(&window));
    EXPECT_EQ(borderColour(b.frame), ui::stateColour(PanelState::Fail).name());
    EXPECT_EQ(window.lineTotals()->text(), "Line: Passed 3 \u00b7 Failed 1 \u00b7 Yield 75.0 %");

    // A station that fails alone turns red with its reason; the other keeps its tile.
    StationStatus unplugged = status("A", StationState::Failed, "PASS", 1, 0);
    unplugged.message = "port /dev/ttyUSB0 does not open";
    std::thread([&] { window.listener().stationChanged(unplugged); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(a.state->text(), "FAILED");
    EXPECT_EQ(a.message->text(), "port /dev/ttyUSB0 does not open");
    EXPECT_EQ(borderColour(a.frame), ui::stateColour(PanelState::Fail).name());
    EXPECT_EQ(b.result->text(), "FAIL: Chip not ready !");
}

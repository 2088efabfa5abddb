// The window over its logic: hidden controls, family and part changes, Load File, the external
// trigger, and the PASS boxes that close themselves.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <atomic>
#include <thread>

#include "app/trigger_channel.h"
#include "gui/gui_support.h"
#include "ui/hex_view.h"
#include "ui/result_dialog.h"

using namespace tarnel;
using namespace tarnel::testing;
using tarnel::ui::MainWindow;

namespace {

template <class W>
W* widget(MainWindow& window, Control c) {
    return qobject_cast<W*>(window.control(c));
}

TEST(MainWindowTest, FamilyAndPartChangesRefreshTheControls) {
    WindowBench bench;
    bench.writeSettings(kTypeIcp, 200);
    MainWindow& w = bench.start();
    // What the controls hold is the window logic's (its unit tests); here, that the widgets
    // follow it. Hidden controls exist but are never shown.
    for (Control c : {Control::IspRadio, Control::ComIspRadio, Control::ProductionBox,
                      Control::FwUpdate, Control::Test, Control::Cancel}) {
        ASSERT_NE(w.control(c), nullptr);
        EXPECT_FALSE(w.control(c)->isVisible());
    }
    auto* family = widget<QComboBox>(w, Control::FamilyList);
    auto* part = widget<QComboBox>(w, Control::PartList);
    family->setCurrentIndex(family->findText("Sonra Family"));
    EXPECT_EQ(w.workbench().job().partIndex, 1000u);
    EXPECT_EQ(part->count(), 1);
    EXPECT_TRUE(widget<QCheckBox>(w, Control::ConfigBox)->isChecked());
    EXPECT_TRUE(widget<QPushButton>(w, Control::ConfigSetting)->isEnabled());

    family->setCurrentIndex(family->findText("Vexa_Kite"));
    part->setCurrentIndex(5);
    EXPECT_EQ(w.workbench().job().partIndex, 205u);

    // While a command runs the lists go back to where they were.
    w.workbench().job().busy = true;
    part->setCurrentIndex(9);
    family->setCurrentIndex(family->findText("Vexa_Lark"));
    EXPECT_EQ(part->currentIndex(), 5);
    EXPECT_EQ(family->currentText(), "Vexa_Kite");
    EXPECT_EQ(w.workbench().job().partIndex, 205u);
    EXPECT_FALSE(part->isEnabled());  // and look refused
    w.workbench().job().busy = false;
    w.applyState();

    // Unticking CONFIG disables its setting button.
    widget<QCheckBox>(w, Control::ConfigBox)->click();
    EXPECT_FALSE(w.workbench().job().updateConfig);
    EXPECT_FALSE(widget<QPushButton>(w, Control::ConfigSetting)->isEnabled());
}

TEST(MainWindowTest, LoadFileFillsTheHexViewAndItsFields) {
    WindowBench bench;
    bench.writeSettings(kTypeIcp, 207);
    std::vector<std::uint8_t> image(kImageCapacity);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7);
    image[1] = 'A';
    const std::string path = bench.dir.write("firmware.bin", image);
    MainWindow& w = bench.start();
    w.setImagePathChooser([&](const LoadFileRequest& request) {
        EXPECT_EQ(request.region, ImageRegion::Aprom);
        return QString::fromStdString(path);
    });
    widget<QPushButton>(w, Control::LoadFile)->click();

    // What the fields hold is the window logic's (its unit tests); here, that they follow.
    EXPECT_EQ(widget<QLineEdit>(w, Control::FileNameField)->text(), QString::fromStdString(path));
    ui::HexView* view = w.hexView();
    EXPECT_EQ(view->bytes().size(), image.size());
    EXPECT_EQ(view->rowCount(), 0x4000);
    EXPECT_TRUE(view->rowText(0).startsWith("00000000  00 41 0E 15"));
    EXPECT_TRUE(view->rowText(0).contains(" .A.."));
    // Only the rows in sight are painted, wherever the view is scrolled to.
    view->grab();
    const int painted = view->lastPaintedRows();
    EXPECT_GT(painted, 0);
    EXPECT_LT(painted, 100);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    view->grab();
    EXPECT_LE(view->lastPaintedRows(), painted);
    EXPECT_GT(view->firstVisibleRow(), 0x3F00);
    w.imageTabs()->setCurrentIndex(1);  // the DataFlash tab shows its own, empty, region
    EXPECT_TRUE(view->bytes().empty());
}

// A trigger outside QB7710 parts shows its debug box; production PASS boxes close themselves.
TEST(MainWindowTest, TriggerDebugBoxAndProductionPassBoxesClosingThemselves) {
    WindowBench bench;
    bench.writeSettings(kTypeIcp, 100);
    const QString socket = QString::fromStdString(bench.dir.file("trigger"));
    MainWindow& w = bench.start(socket);
    TriggerSend sent = TriggerSend::NoAnswer;
    std::thread client([&] { sent = sendTrigger(socket.toStdString(), 5000); });
    {
        BoxCloser boxes;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.seen.empty(); }, 5000));
        client.join();
        EXPECT_EQ(sent, TriggerSend::Accepted);
        EXPECT_EQ(boxes.seen, std::vector<QString>{"<Debug>: Not QB7710 parts !"});
    }
    EXPECT_EQ(sendTrigger(bench.dir.file("nobody"), 100), TriggerSend::NoWindow);

    ShowCounter passes("PASS");
    std::atomic<bool> finished{false};
    QElapsedTimer clock;
    clock.start();
    // Two boxes from a worker thread, each closed by the window's timer, not by a click.
    std::thread worker([&] {
        showPass(w.windowOperator(), "Chip is updated !", true);
        showPass(w.windowOperator(), "Chip is updated !", true);
        finished = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 5000));
    worker.join();
    EXPECT_EQ(passes.count(), 2);
    EXPECT_GE(clock.elapsed(), 2 * 500 - 50);  // each stays open for its 500 ms
}

}  // namespace

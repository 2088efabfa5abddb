// The dialogs: the read-back viewer's tabs, save and CONFIG view, the advanced dialog's
// checks, and the operator's blocking of a worker while its box is open.

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <atomic>
#include <thread>

#include "app/advanced_settings.h"
#include "gui/gui_support.h"
#include "testkit/recording_operator.h"
#include "ui/advanced_dialog.h"
#include "ui/config_dialog.h"
#include "ui/hex_view.h"
#include "ui/read_back_viewer.h"
#include "ui/result_dialog.h"
#include "ui/socket_choice_dialog.h"

using namespace tarnel;
using namespace tarnel::testing;

namespace {

// A read of a part with a 2 KiB LDROM and no DataFlash.
ReadBackState ldromRead() {
    ReadBackState read;
    read.apromReadLast = 0x3FF;
    read.ldromReadValid = true;
    for (std::size_t i = 0; i < 0x800; ++i)
        read.ldrom[i] = static_cast<std::uint8_t>(i);
    return read;
}

TEST(ReadBackViewerTest, TabsFollowTheReadAndSaveTheShownRegion) {
    test::ScratchDir dir;
    ui::ReadBackViewer viewer(ldromRead(), 0x7FF);
    ASSERT_EQ(viewer.tabs()->count(), 2);
    EXPECT_EQ(viewer.tabs()->tabText(1), "LDROM Contents");
    EXPECT_EQ(viewer.saveButton()->text(), "Save APROM Contents");
    EXPECT_EQ(viewer.hexView()->bytes().size(), 0x400u);

    viewer.tabs()->setCurrentIndex(1);
    EXPECT_EQ(viewer.saveButton()->text(), "Save LDROM Contents");
    QString suggested;
    const std::string target = dir.file("ldrom.bin");
    viewer.setSavePathChooser([&](const QString& name) {
        suggested = name;
        return QString::fromStdString(target);
    });
    viewer.saveButton()->click();
    EXPECT_EQ(suggested, "LDROM_Contents");
    const auto saved = test::readBytes(target);
    ASSERT_EQ(saved.size(), 2048u);
    EXPECT_EQ(saved[0x7FF], 0xFF);

    // A file that cannot be created gets its box, and nothing else happens.
    BoxCloser boxes;
    EXPECT_FALSE(viewer.saveTo(QString::fromStdString(dir.file("missing/dir/x.bin"))));
    EXPECT_EQ(boxes.seen, std::vector<QString>{"ERROR: Open file error !"});
}

// The viewer blocks the worker until it closes, and its "Show CONFIG" opens the part's
// editor on the chip's CONFIG words (read-only, as the editor model's tests pin).
TEST(QtOperatorTest, ReadBackViewerBlocksTheWorkerAndShowsConfigReadOnly) {
    WindowBench bench;
    bench.writeSettings(kTypeIcp, 207);
    ui::MainWindow& w = bench.start();
    const auto before = w.workbench().job().configBytes;
    ReadBackState read = ldromRead();
    setConfig0Word(read.config, 0xFF7FFFFC);  // locked, DataFlash and brown-out on
    setConfig1Word(read.config, 0x0001F000);
    std::atomic<int> stage{0};
    std::thread worker([&] {
        w.windowOperator().setStatus("Read Chip (for LDROM)...");
        stage = 1;
        w.windowOperator().showReadBack(read, 207);
        stage = 2;
    });
    // The box runs its own event loop: everything is checked from inside it.
    int stageWhileOpen = 0;
    QString status, ok, start;
    const auto handled = whenModal([&](QWidget* box) {
        auto* viewer = qobject_cast<ui::ReadBackViewer*>(box);
        ASSERT_NE(viewer, nullptr);
        status = w.statusLine()->text();
        QTest::qWait(50);
        stageWhileOpen = stage.load();
        const auto view = whenModal(
            [&](QWidget* shown) {
                auto* dialog = qobject_cast<ui::ConfigDialog*>(shown);
                ASSERT_NE(dialog, nullptr);
                ok = dialog->okButton()->text();
                start = dialog->startBox()->text();
                closeBox(shown);
            },
            viewer);
        for (QPushButton* button : viewer->findChildren<QPushButton*>())
            if (button->text() == "Show CONFIG")
                button->click();
        EXPECT_TRUE(*view);
        closeBox(box);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return *handled; }, 5000));
    EXPECT_EQ(status, "Read Chip (for LDROM)...");
    EXPECT_EQ(stageWhileOpen, 1);  // the worker waited for the viewer
    EXPECT_EQ(ok, "Exit");
    EXPECT_EQ(start, "0x0001F000");  // the chip's CONFIG, not the job's
    EXPECT_EQ(w.workbench().job().configBytes, before);
    EXPECT_TRUE(QTest::qWaitFor([&] { return stage.load() == 2; }, 5000));
    worker.join();
}

TEST(QtOperatorTest, SocketChoiceAnswersTheWorker) {
    WindowBench bench;
    ui::MainWindow& w = bench.start();
    std::atomic<int> chosen{0};
    std::atomic<int> kept{0};
    std::thread worker([&] {
        chosen = w.windowOperator().chooseSocket(2);
        kept = w.windowOperator().chooseSocket(2);
    });
    int preselected = 0;
    const auto first = whenModal([&](QWidget* box) {
        auto* dialog = qobject_cast<ui::SocketChoiceDialog*>(box);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Select Chip in the Sockets");
        preselected = dialog->selected();
        dialog->choose(4);
        dialog->accept();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return *first; }, 5000));
    // Closed other than by OK: the choice stays.
    const auto second = whenModal([&](QWidget* box) {
        qobject_cast<ui::SocketChoiceDialog*>(box)->choose(3);
        qobject_cast<QDialog*>(box)->reject();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return *second && kept.load() != 0; }, 5000));
    worker.join();
    EXPECT_EQ(preselected, 2);
    EXPECT_EQ(chosen.load(), 4);
    EXPECT_EQ(kept.load(), 2);
}

TEST(QtOperatorTest, DismissReleasesAWorkerWaitingForABox) {
    WindowBench bench;
    ui::MainWindow& w = bench.start();
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        showFail(w.windowOperator(), "Chip is not found !");
        w.windowOperator().showMessageBox("WARNING", "later", BoxIcon::Warning);  // at once
        returned = true;
    });
    const auto handled = whenModal([&](QWidget*) { w.windowOperator().dismiss(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return *handled; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 5000));
    worker.join();
}

TEST(AdvancedDialogTest, FieldChecksShowTheirMessagesAndRewriteTheField) {
    ProgrammingJob job;
    job.programmerType = kTypeGang | kTypeIcp;
    job.chipCounterEnabled = true;
    job.refreshDerivedState();
    RecordingOperator op;
    AdvancedSettingsLogic logic(job, op);
    ui::AdvancedDialog dialog(logic);
    EXPECT_FALSE(dialog.usageGroup()->isEnabled());
    EXPECT_TRUE(dialog.gangGroup()->isEnabled());

    dialog.addressField()->setText("1FFF9");
    EXPECT_EQ(dialog.addressField()->text(), "1FFF8");
    EXPECT_EQ(dialog.endAddressField()->text(), "1FFFF");
    dialog.serialField()->setText("123456789012");
    EXPECT_EQ(job.serialLow, 56789012u);
    dialog.counterField()->setText("12x");
    EXPECT_EQ(dialog.counterField()->text(), "000000");
    EXPECT_EQ(op.boxes().size(), 2u);  // their texts are the dialog logic's
    dialog.directionButton()->click();
    EXPECT_EQ(dialog.directionButton()->text(), "Count Down");
    EXPECT_TRUE(job.chipCounterDown);
}

}  // namespace

// The CONFIG editors as the window opens them: every layout from "CONFIG Setting", the
// DataFlash boxes and spin, and the bit-table read-outs that follow the job on their timer.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include "gui/gui_support.h"
#include "ui/config_dialog.h"

using namespace tarnel;
using namespace tarnel::testing;
using tarnel::ui::ConfigDialog;

namespace {

struct EditorCase {
    const char* name;
    std::uint8_t type;
    std::uint32_t part;
    const char* title;
    const char* section;  // one whose unselected radio the test clicks
};

void icpJob(ProgrammingJob& job, std::uint32_t part) {
    job.programmerType = kTypeIcp;
    job.partIndex = part;
    job.refreshDerivedState();
}

// Clicks the first radio of the box that is neither selected nor greyed.
bool clickUnselected(QGroupBox* box) {
    for (QRadioButton* radio : box->findChildren<QRadioButton*>()) {
        if (!radio->isChecked() && radio->isEnabled()) {
            radio->click();
            return true;
        }
    }
    return false;
}

TEST(ConfigDialogTest, EveryEditorOpensFromConfigSettingAndWritesTheJob) {
    const EditorCase cases[] = {
        // One per kind of dialog: word layout, 8051 layout (ISP and by COM port, which starts
        // with its search), bit table; the sections of each layout are the unit tests' part.
        {"Kite", kTypeIcp, 207, "CONFIG Setting", "Clock Filter"},
        {"Ferro", kTypeIsp, 38, "CONFIG Setting for Ferro", "6T/12T Mode"},
        {"Pike", kTypeIspByCom, 40, "CONFIG Setting", "Watch-dog Timer"},
        {"bit table", kTypeIcp, 100, "CONFIG Setting", "P1.5 Function"},
    };
    for (const EditorCase& c : cases) {
        SCOPED_TRACE(c.name);
        WindowBench bench;
        bench.writeSettings(c.type, c.part);
        ui::MainWindow& w = bench.start();
        // ISP by COM Port starts with its COM-port search; the controls look disabled until
        // the window has seen it end.
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.control(Control::ConfigBox)->isEnabled(); }));
        ASSERT_EQ(w.workbench().job().partIndex, c.part);
        // In ISP mode the CONFIG item starts unticked, and with it its setting button.
        auto* configBox = qobject_cast<QCheckBox*>(w.control(Control::ConfigBox));
        if (!configBox->isChecked())
            configBox->click();
        const auto before = w.workbench().job().configBytes;
        QString title;
        QString ok;
        bool clicked = false;
        const auto handled = whenModal([&](QWidget* box) {
            title = box->windowTitle();
            if (auto* dialog = qobject_cast<ConfigDialog*>(box)) {
                ok = dialog->okButton()->text();
                if (QGroupBox* section = dialog->section(QString::fromLatin1(c.section)))
                    clicked = clickUnselected(section);
            }
            closeBox(box);
        });
        qobject_cast<QPushButton*>(w.control(Control::ConfigSetting))->click();
        ASSERT_TRUE(*handled);
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(ok, "OK");
        EXPECT_TRUE(clicked);
        EXPECT_NE(w.workbench().job().configBytes, before);
    }
}

TEST(ConfigDialogTest, DataFlashBoxesAndSpin) {
    ProgrammingJob job;
    icpJob(job, 207);
    const auto dialog = ConfigDialog::open(job, 207, false);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->sizeBox()->isEnabled()) << "DataFlash disabled by default";
    EXPECT_TRUE(dialog->sizeBox()->isReadOnly());
    clickUnselected(dialog->section("DataFlash"));
    ASSERT_TRUE(dialog->spin()->isEnabled());
    EXPECT_TRUE(dialog->startBox()->isEnabled());

    // The texts per page count are the editor model's; here, that the up arrow lowers the
    // page count and the boxes follow.
    dialog->spin()->setValue(8);
    dialog->spin()->stepUp();
    EXPECT_EQ(job.dataFlashPages, 7u);
    EXPECT_EQ(dialog->startBox()->text(), "0x0001F200");
}

TEST(ConfigDialogTest, BitTableReadoutsFollowTheJobWhileEditing) {
    ProgrammingJob job;
    icpJob(job, 100);
    const auto dialog = ConfigDialog::open(job, 100, false);
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->tabs()->count(), 2);
    EXPECT_EQ(dialog->tabs()->tabText(1), "CONFIG1");
    EXPECT_TRUE(dialog->readout(3)->isEnabled());
    ASSERT_TRUE(dialog->refreshTimer()->isActive());
    dialog->show();
    // Whatever changes the job's bytes shows on the read-outs; their texts are the model's.
    job.configBytes[7] = 0x12;
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->readout(2)->text() == "0x12"; }, 1000));
    dialog->accept();
    EXPECT_FALSE(dialog->refreshTimer()->isActive());

    ConfigBytes chip{};
    chip.fill(0xFF);
    const auto view = ConfigDialog::open(job, 100, true, &chip);
    EXPECT_EQ(view->okButton()->text(), "Exit");
    EXPECT_EQ(view->refreshTimer(), nullptr);
    EXPECT_EQ(view->readout(2)->text(), "0xFF");
}

}  // namespace

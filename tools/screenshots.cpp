// tarnel-screenshots OUTDIR: takes the README's pictures of the window, its boxes and dialogs
// on the offscreen platform, with simulated programmers on virtual time. Drawn at twice the
// pixels (QT_SCALE_FACTOR=2) it takes only the window after a PASS, as NAME@2x.png.

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/advanced_settings.h"
#include "core/atomic_file.h"
#include "testkit/recording_operator.h"
#include "ui/advanced_dialog.h"
#include "ui/config_dialog.h"
#include "ui/line_window.h"
#include "ui/main_window.h"
#include "ui/read_back_viewer.h"
#include "ui/result_dialog.h"
#include "ui/testkit/loopback_window.h"
#include "ui/testkit/modal_box.h"

using namespace tarnel;
using tarnel::ui::MainWindow;

namespace {

QString outDir;

void fail(const std::string& what) {
    throw std::runtime_error(what);
}

// Saves a grab of the widget as NAME.png, or NAME@2x.png when drawn at twice the pixels.
void save(QWidget& widget, const QString& name) {
    const QPixmap picture = widget.grab();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (picture.isNull() || !picture.save(&buffer, "PNG"))
        fail("cannot draw " + name.toStdString());
    const QString file = name + (picture.devicePixelRatio() > 1.5 ? "@2x.png" : ".png");
    const std::string path = (outDir + "/" + file).toStdString();
    if (!writeFileAtomically(path, std::span(reinterpret_cast<const std::uint8_t*>(png.data()),
                                             static_cast<std::size_t>(png.size()))))
        fail("cannot write " + path);
}

void waitFor(const std::function<bool()>& done, const char* what) {
    if (!QTest::qWaitFor(done, 20000))
        fail(std::string("timed out waiting for ") + what);
}

// The window on virtual time with a loopback port, over a temporary working directory.
struct TemporaryDir {
    QTemporaryDir dir;
};

class WindowBench : public TemporaryDir, public LoopbackWindow {
  public:
    WindowBench() : LoopbackWindow(dir.path().toStdString()) {}

    MainWindow& start() {
        MainWindow& w = LoopbackWindow::start();
        w.resize(1180, 660);
        return w;
    }

    void loadImage(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string file = path() + "/" + name;
        if (!writeFileAtomically(file, bytes))
            fail("cannot write " + file);
        window->setImagePathChooser(
            [file](const LoadFileRequest&) { return QString::fromStdString(file); });
        button(Control::LoadFile)->click();
    }

    QPushButton* button(Control c) { return qobject_cast<QPushButton*>(window->control(c)); }

    // Clicks a command, closes the box that ends it and waits until the window took the end.
    void run(Control c) {
        const auto closed = whenModal(closeBox);
        bool ended = false;
        QObject::connect(window.get(), &MainWindow::commandEnded, [&] { ended = true; });
        button(c)->click();
        waitFor([&] { return *closed && ended; }, "a command's end");
    }

    std::string path() const { return dir.path().toStdString(); }
};

std::vector<std::uint8_t> blinky(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>((i * 31) ^ (i >> 4));
    return image;
}

// The main window with a file loaded, the PASS and FAIL boxes, the read-back viewer and the
// Advanced Functions dialog.
void windowBoxesViewerAndAdvancedDialog() {
    WindowBench bench;
    bench.writeSettings([](ProgrammingJob& job) {
        job.programmerType = kTypeIcp;
        job.partIndex = 207;
        job.serialEnabled = true;
        job.serialLow = 1001;
        job.chipCounterEnabled = true;
        job.chipCounter = 42;
    });
    MainWindow& w = bench.start();
    const std::vector<std::uint8_t> image = blinky(0x3000);
    bench.loadImage("Blinky.bin", image);
    save(w, "main_window");

    ui::ResultDialog pass(ResultKind::Pass, "Chip is successfully updated !", &w);
    save(pass, "pass_box");
    ui::ResultDialog fail(ResultKind::Fail, "Update APROM error !", &w);
    save(fail, "fail_box");

    ReadBackState read;
    read.apromReadLast = 0x2FFF;
    read.ldromReadValid = true;
    for (std::size_t i = 0; i < 0x800; ++i)
        read.ldrom[i] = static_cast<std::uint8_t>(i);
    std::copy(image.begin(), image.end(), read.aprom.begin());
    ui::ReadBackViewer viewer(read, 0x7FF, &w);
    save(viewer, "read_back_viewer");

    RecordingOperator op;
    AdvancedSettingsLogic logic(w.workbench().job(), op);
    ui::AdvancedDialog advanced(logic, &w);
    save(advanced, "advanced_functions");
}

// One editor of each kind, with the DataFlash section (where there is one) enabled.
void configEditors() {
    ProgrammingJob job;
    job.programmerType = kTypeIcp;
    job.refreshDerivedState();
    job.catalogue.setLegacyListMasked(false);
    const auto take = [&](std::uint32_t part, const char* name, const char* dataFlash) {
        job.partIndex = part;
        job.refreshDerivedState();
        const auto dialog = ui::ConfigDialog::open(job, part, false);
        if (!dialog)
            fail(std::string("no editor for ") + name);
        if (QGroupBox* box = dialog->section(QString::fromLatin1(dataFlash))) {
            for (QRadioButton* radio : box->findChildren<QRadioButton*>()) {
                if (radio->text() == "Enable")
                    radio->click();
            }
            dialog->spin()->setValue(8);
        }
        dialog->adjustSize();
        save(*dialog, name);
    };
    take(207, "config_kite", "DataFlash");
    take(1000, "config_sonra", "DataFlash");
    take(100, "config_bittable", "");
    job.programmerType = kTypeIsp;
    take(38, "config_ferro", "DataFlash");
}

// Part 300 with an APROM file, S/N programming and the chip counter on; a Vexa programmer on
// the line unless `programmer` is false.
MainWindow& readyWindow(WindowBench& bench, bool programmer) {
    bench.writeSettings([](ProgrammingJob& job) {
        job.programmerType = kTypeIcp;
        job.partIndex = 300;
        job.serialEnabled = true;
        job.serialAddress = 0x1000;
        job.serialLow = 5;
        job.chipCounterEnabled = true;
    });
    if (programmer) {
        sim::Scenario vexa;
        vexa.kind = 0xAD;
        bench.addDevice(vexa);
    }
    MainWindow& w = bench.start();
    bench.loadImage("Blinky.bin", std::vector<std::uint8_t>(0xC00, 0x5A));
    return w;
}

// The window as an operator sees it: idle, running, after PASS, after FAIL with its detail
// line (and the box), and gang with its four tiles, the first socket's chip a wrong one.
void operatorWindow(bool scaled) {
    {
        WindowBench bench;
        MainWindow& w = readyWindow(bench, true);
        if (!scaled)
            save(w, "window_idle");
        const auto closed = whenModal(closeBox);
        bool ended = false;
        QObject::connect(&w, &MainWindow::commandEnded, [&] { ended = true; });
        bench.button(Control::UpdateChip)->click();
        if (!scaled)
            save(w, "window_running");
        waitFor([&] { return *closed && ended; }, "the update's end");
        save(w, "window_pass");
    }
    if (scaled)
        return;
    {
        WindowBench bench;
        MainWindow& w = readyWindow(bench, false);
        const auto handled = whenModal([&](QWidget* box) {
            save(*box, "fail_box_detail");
            closeBox(box);
        });
        bench.button(Control::UpdateChip)->click();
        waitFor([&] { return *handled && !w.workbench().busy(); }, "the failed update");
        QTest::qWait(100);  // the window takes the command's end
        save(w, "window_fail");
    }
    {
        WindowBench bench;
        bench.writeSettings([](ProgrammingJob& job) {
            job.programmerType = kTypeIcp | kTypeGang;
            job.partIndex = 100;
            job.serialEnabled = true;
            job.serialAddress = 0x700;
            job.serialLow = 98;
        });
        sim::SimChip wrong;
        wrong.wrongDeviceId = true;
        sim::Scenario gang;
        gang.device = sim::Scenario::Device::Gang;
        gang.firmwareVersion = 0x0619;
        gang.sockets = {wrong};
        bench.addDevice(gang);
        MainWindow& w = bench.start();
        bench.loadImage("Gang.bin", std::vector<std::uint8_t>(0x200, 8));
        bench.run(Control::DownloadProgrammer);
        bench.run(Control::UpdateChip);
        save(w, "window_gang");
    }
}

// A line of four stations in the line window: two programmers, a gang and a boot-loader socket.
void lineWindow() {
    LineSetup setup;
    setup.path = "/line/line.json";
    const std::vector<std::pair<std::string, StationKind>> names = {{"A", StationKind::Programmer},
                                                                    {"A2", StationKind::Programmer},
                                                                    {"G", StationKind::Programmer},
                                                                    {"B", StationKind::IspComPort}};
    for (std::size_t n = 0; n < names.size(); ++n)
        setup.stations.push_back({names[n].first, names[n].second,
                                  "/dev/ttyUSB" + std::to_string(n), "/line/w.prj", ""});
    ui::LineWindow window(setup);
    window.show();
    auto tile = [](const std::string& name, StationState state, const std::string& kind,
                   unsigned passed, unsigned failed, const std::string& result) {
        StationStatus s;
        s.name = name;
        s.state = state;
        s.kind = kind;
        s.lastResult = result;
        s.passed = passed;
        s.failed = failed;
        return s;
    };
    StationStatus a = tile("A", StationState::Ready, "ICP", 41, 1, "PASS");
    a.port = "/dev/ttyUSB0";
    a.serial = "00000000,00001087";
    StationStatus a2 = tile("A2", StationState::Busy, "ICP", 39, 0, "PASS");
    a2.port = "/dev/ttyUSB1";
    a2.serial = "00000000,00001086";
    StationStatus g = tile("G", StationState::Ready, "Gang", 150, 6, "FAIL");
    g.port = "/dev/ttyUSB2";
    g.lastText = "Socket 3: Chip not ready !";
    StationStatus b = tile("B", StationState::Failed, "ISP by COM Port", 12, 0, "PASS");
    b.port = "/dev/ttyUSB3";
    b.message = "port /dev/ttyUSB3 does not open";
    for (const StationStatus& s : {a, a2, g, b})
        window.listener().stationChanged(s);
    QCoreApplication::processEvents();
    save(window, "line_window");
}

// The offscreen platform notes on every window that it has no size hints to pass on.
void printMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (!text.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarnel-screenshots OUTDIR\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(printMessage);
    QApplication app(argc, argv);
    outDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    try {
        const bool scaled = qApp->devicePixelRatio() > 1.5;
        if (!scaled) {
            windowBoxesViewerAndAdvancedDialog();
            configEditors();
            lineWindow();
        }
        operatorWindow(scaled);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tarnel-screenshots: %s\n", error.what());
        return 1;
    }
    return 0;
}

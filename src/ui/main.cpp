// tarnel-gui: the operator's window, or with --line the line window.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>
#include <cstdlib>
#include <iostream>

#include "app/line_file.h"
#include "app/trigger_channel.h"
#include "link/port_table.h"
#include "link/system_ports.h"
#include "ui/line_window.h"
#include "ui/main_window.h"
#include "ui/pty_simulator.h"

namespace {

// The line window over the system's ports; returns when it is closed and every station has
// ended.
int runLine(const std::string& path) {
    std::string error;
    auto setup = tarnel::loadLineFile(path, &error);
    if (!setup) {
        std::cerr << "tarnel-gui: " << error << "\n";
        return 2;
    }
    tarnel::SystemClock clock;
    tarnel::SystemPortFactory ports(clock);
    tarnel::ui::LineWindow window(std::move(*setup));
    window.run(ports, clock);
    // `tarnel trigger --station NAME` starts a station as its Start button does. The listener
    // goes before the window, which owns the stations.
    tarnel::TriggerListener listener;
    if (!listener.start(
            tarnel::triggerSocketPath(),
            [&window](const std::string& station) {
                return window.runner() != nullptr && window.runner()->triggerFromChannel(station);
            },
            &error))
        std::cerr << "tarnel-gui: no trigger channel: " << error << "\n";
    window.show();
    const int status = QApplication::exec();
    listener.stop();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarnel-gui"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tarnel: the operator's window"));
    parser.addHelpOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Serve a simulated programmer from SCENARIO.json on a pseudo-terminal "
                       "and use it as the port."),
        QStringLiteral("SCENARIO.json"));
    parser.addOption(simulate);
    const QCommandLineOption line(
        QStringLiteral("line"),
        QStringLiteral("Run the line of stations LINE.json: one tile per station instead of the "
                       "single programmer's window."),
        QStringLiteral("LINE.json"));
    parser.addOption(line);
    parser.process(app);

    if (parser.isSet(line))
        return runLine(parser.value(line).toStdString());

    tarnel::ui::PtySimulator simulator;
    std::string simulatedPort;
    if (parser.isSet(simulate)) {
        std::string error;
        const auto path = simulator.start(parser.value(simulate).toStdString(), error);
        if (!path) {
            std::cerr << "tarnel-gui: cannot simulate: " << error << "\n";
            return 2;
        }
        simulatedPort = *path;
        // The port table lists TARNEL_PORTS first, so the terminal has a slot of its own.
        const char* listed = std::getenv("TARNEL_PORTS");
        const std::string ports = listed && *listed ? simulatedPort + ":" + listed : simulatedPort;
        qputenv("TARNEL_PORTS", QByteArray::fromStdString(ports));
        std::cout << "tarnel-gui: simulated programmer on " << simulatedPort << std::endl;
    }

    tarnel::SystemClock clock;
    tarnel::SystemPortFactory ports(clock);
    tarnel::ui::MainWindow window(clock, ports);
    window.startUp(QDir::currentPath(), QString::fromStdString(tarnel::triggerSocketPath()));
    if (!simulatedPort.empty()) {
        window.workbench().job().setComPortName(
            tarnel::rememberedNameFor(simulatedPort, ports.portTable()));
    }
    // The window may close while hidden (after a worker it waited for): quit then too.
    QObject::connect(&window, &tarnel::ui::MainWindow::windowClosed, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    const int status = QApplication::exec();
    simulator.stop();
    return status;
}

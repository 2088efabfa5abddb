#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <iterator>

#include "app/advanced_settings.h"
#include "app/trigger_channel.h"
#include "ui/advanced_dialog.h"
#include "ui/config_dialog.h"
#include "ui/hex_view.h"
#include "ui/pictures.h"
#include "ui/result_dialog.h"
#include "ui/result_panel_widget.h"

namespace tarnel::ui {

namespace {

// How often the window looks whether a running command's worker has ended.
constexpr int kWorkerWatchMs = 50;
// A PASS box in production mode closes itself after this long.
constexpr int kProductionCloseMs = 500;
// The part list shows at most this many rows at a time.
constexpr int kPartListRows = 20;

// The local files of a drag, or none when anything in it is not one.
QStringList droppedFiles(const QMimeData* mime) {
    QStringList files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile())
            return {};
        files << url.toLocalFile();
    }
    return files;
}

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

QStringList toStringList(const std::vector<std::string>& entries) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(entries.size()));
    for (const std::string& e : entries)
        list << q(e);
    return list;
}

void showList(QComboBox* combo, const ListState& list) {
    const QSignalBlocker block(combo);
    const QStringList entries = toStringList(list.entries);
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i)
        shown << combo->itemText(i);
    if (shown != entries) {
        combo->clear();
        combo->addItems(entries);
    }
    combo->setCurrentIndex(
        static_cast<int>(list.selected) < combo->count() ? static_cast<int>(list.selected) : -1);
}

QString dialogFilter(const std::vector<std::pair<std::string, std::string>>& filters) {
    QStringList parts;
    for (const auto& [description, pattern] : filters) {
        (void)pattern;  // the description carries the pattern in brackets
        parts << q(description);
    }
    return parts.join(QStringLiteral(";;"));
}

}  // namespace

MainWindow::MainWindow(Clock& clock, PortFactory& ports, QWidget* parent) : QDialog(parent) {
    bench_ = std::make_unique<Workbench>(op_, clock, ports);
    logic_ = std::make_unique<MainWindowLogic>(*bench_);

    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setWindowIcon(drawProgramIcon());
    setObjectName(QStringLiteral("MainWindow"));
    buildControls();
    connectControls();
    op_.attach(this, &bench_->job(), status_, progress_,
               static_cast<QLineEdit*>(control(Control::ComPortNameField)),
               static_cast<QLabel*>(control(Control::ProgTypeLabel)));
    op_.setPanelFeed(logic_.get(), [this] { showPanel(); });
    setAcceptDrops(true);

    productionTimer_ = new QTimer(this);
    productionTimer_->setSingleShot(true);
    productionTimer_->setTimerType(Qt::PreciseTimer);
    productionTimer_->setInterval(kProductionCloseMs);
    connect(productionTimer_, &QTimer::timeout, this, &MainWindow::closeResultBox);
    op_.setProductionPassHook([this] { productionTimer_->start(); });

    workerWatch_ = new QTimer(this);
    workerWatch_->setInterval(kWorkerWatchMs);
    connect(workerWatch_, &QTimer::timeout, this, &MainWindow::watchWorker);
}

MainWindow::~MainWindow() {
    // A worker still running is released from any box it waits for and joined before the
    // state it uses goes away.
    op_.dismiss();
    logic_.reset();
    bench_.reset();
}

void MainWindow::setControl(Control c, QWidget* w) {
    controls_[static_cast<std::size_t>(c)] = w;
}

void MainWindow::buildControls() {
    auto* layout = new QVBoxLayout(this);
    buildMenu();
    layout->setMenuBar(menuBar_);
    auto* banner = new BannerWidget(this);
    // The system-menu items are also on the banner's context menu.
    banner->setContextMenuPolicy(Qt::ActionsContextMenu);
    banner->addAction(about_);
    banner->addAction(advanced_);
    layout->addWidget(banner);

    auto* left = new QVBoxLayout;
    left->addWidget(buildTypeGroup());
    left->addWidget(buildPartGroup());
    left->addWidget(buildItemsGroup());
    left->addLayout(buildButtons());
    left->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addLayout(left);
    middle->addLayout(buildImageArea(), 1);
    panel_ = new ResultPanelWidget(this);
    middle->addWidget(panel_);
    layout->addLayout(middle, 1);
    buildBottomLines(layout);
    resize(1180, 660);
}

void MainWindow::buildMenu() {
    menuBar_ = new QMenuBar(this);
    QMenu* menu = menuBar_->addMenu(QStringLiteral("&System"));
    menu->addSeparator();
    about_ = menu->addAction(QString::fromLatin1(kAboutMenuText));
    menu->addSeparator();
    advanced_ = menu->addAction(QString::fromLatin1(kAdvancedMenuText));
    menu->addSeparator();
    recentMenu_ = menu->addMenu(QStringLiteral("&Recent Projects"));
    connect(recentMenu_, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
}

QGroupBox* MainWindow::buildTypeGroup() {
    auto* typeGroup = new QGroupBox(QStringLiteral("Programmer Type"), this);
    auto* typeLayout = new QGridLayout(typeGroup);
    auto* icp = new QRadioButton(typeGroup);
    auto* isp = new QRadioButton(typeGroup);
    auto* comIsp = new QRadioButton(typeGroup);
    auto* comList = new QComboBox(typeGroup);
    auto* gang = new QCheckBox(typeGroup);
    auto* production = new QCheckBox(typeGroup);
    // Each radio is a group of its own: the logic alone decides which one is selected.
    for (QRadioButton* r : {icp, isp, comIsp})
        r->setAutoExclusive(false);
    setControl(Control::IcpRadio, icp);
    setControl(Control::IspRadio, isp);
    setControl(Control::ComIspRadio, comIsp);
    setControl(Control::ComPortList, comList);
    setControl(Control::GangBox, gang);
    setControl(Control::ProductionBox, production);
    typeLayout->addWidget(icp, 0, 0);
    typeLayout->addWidget(gang, 0, 1);
    typeLayout->addWidget(isp, 1, 0);
    typeLayout->addWidget(production, 1, 1);
    typeLayout->addWidget(comIsp, 2, 0);
    typeLayout->addWidget(comList, 2, 1);
    return typeGroup;
}

QGroupBox* MainWindow::buildPartGroup() {
    auto* partGroup = new QGroupBox(QStringLiteral("Part No."), this);
    auto* partLayout = new QGridLayout(partGroup);
    auto* family = new QComboBox(partGroup);
    auto* part = new QComboBox(partGroup);
    // A list popup that keeps to 20 rows on every style, not a menu as tall as the screen.
    part->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    part->setMaxVisibleItems(kPartListRows);
    auto* config = new QCheckBox(partGroup);
    auto* configSetting = new QPushButton(partGroup);
    setControl(Control::FamilyList, family);
    setControl(Control::PartList, part);
    setControl(Control::ConfigBox, config);
    setControl(Control::ConfigSetting, configSetting);
    partLayout->addWidget(family, 0, 0, 1, 2);
    partLayout->addWidget(part, 1, 0, 1, 2);
    partLayout->addWidget(config, 2, 0);
    partLayout->addWidget(configSetting, 2, 1);
    return partGroup;
}

QGroupBox* MainWindow::buildItemsGroup() {
    auto* items = new QGroupBox(this);
    auto* itemsLayout = new QHBoxLayout(items);
    setControl(Control::ItemsGroup, items);
    for (Control c : {Control::ApromBox, Control::DataFlashBox, Control::LdromBox}) {
        auto* box = new QCheckBox(items);
        setControl(c, box);
        itemsLayout->addWidget(box);
    }
    return items;
}

QGridLayout* MainWindow::buildButtons() {
    auto* buttons = new QGridLayout;
    const Control shown[][2] = {
        {Control::LoadFile, Control::LoadProject},
        {Control::SaveProject, Control::UpdateChip},
        {Control::VerifyChip, Control::ReadChip},
        {Control::DownloadProgrammer, Control::ProgrammerInformation},
        {Control::Exit, Control::Cancel},
        {Control::DownloadUpdateIsp, Control::FwUpdate},
        {Control::Test, Control::Count},
    };
    for (int row = 0; row < static_cast<int>(std::size(shown)); ++row) {
        for (int col = 0; col < 2; ++col) {
            const Control c = shown[row][col];
            if (c == Control::Count)
                continue;
            auto* b = new QPushButton(this);
            b->setMinimumHeight(44);
            if (const std::string_view keys = MainWindowLogic::shortcut(c); !keys.empty())
                b->setShortcut(QKeySequence(q(std::string(keys))));
            setControl(c, b);
            buttons->addWidget(b, row, col);
        }
    }
    return buttons;
}

QVBoxLayout* MainWindow::buildImageArea() {
    tabs_ = new QTabBar(this);
    setControl(Control::ImageTabs, tabs_);
    hexView_ = new HexView(this);
    auto* fields = new QGridLayout;
    auto* fileLabel = new QLabel(QStringLiteral("File Name:"), this);
    auto* fileField = new QLineEdit(this);
    auto* sizeLabel = new QLabel(this);
    auto* sizeField = new QLineEdit(this);
    auto* checksumLabel = new QLabel(QStringLiteral("Checksum:"), this);
    auto* checksumField = new QLineEdit(this);
    for (QLineEdit* f : {fileField, sizeField, checksumField})
        f->setReadOnly(true);
    setControl(Control::FileNameField, fileField);
    setControl(Control::SizeLabel, sizeLabel);
    setControl(Control::SizeField, sizeField);
    setControl(Control::ChecksumField, checksumField);
    fields->addWidget(fileLabel, 0, 0);
    fields->addWidget(fileField, 0, 1, 1, 3);
    fields->addWidget(sizeLabel, 1, 0);
    fields->addWidget(sizeField, 1, 1);
    fields->addWidget(checksumLabel, 1, 2);
    fields->addWidget(checksumField, 1, 3);

    auto* right = new QVBoxLayout;
    right->addWidget(tabs_);
    right->addWidget(hexView_, 1);
    right->addLayout(fields);
    return right;
}

void MainWindow::buildBottomLines(QVBoxLayout* layout) {
    // Programmer kind, port, status, progress; above them the S/N and the counter.
    auto* progType = new QLabel(this);
    progType->setMinimumWidth(110);
    auto* portName = new QLineEdit(this);
    portName->setReadOnly(true);
    status_ = new QLabel(this);
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_->setMinimumWidth(300);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    auto* serialLabel = new QLabel(this);
    auto* serialField = new QLineEdit(this);
    serialField->setReadOnly(true);
    auto* counterLabel = new QLabel(this);
    auto* counterField = new QLineEdit(this);
    counterField->setReadOnly(true);
    setControl(Control::ProgTypeLabel, progType);
    setControl(Control::ComPortNameField, portName);
    setControl(Control::SerialLabel, serialLabel);
    setControl(Control::SerialField, serialField);
    setControl(Control::CounterLabel, counterLabel);
    setControl(Control::CounterField, counterField);

    auto* numbers = new QHBoxLayout;
    numbers->addWidget(serialLabel);
    numbers->addWidget(serialField);
    numbers->addWidget(counterLabel);
    numbers->addWidget(counterField);
    numbers->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(progType);
    bottom->addWidget(portName);
    bottom->addWidget(status_, 1);
    bottom->addWidget(progress_, 1);
    layout->addLayout(numbers);
    layout->addLayout(bottom);
}

void MainWindow::connectControls() {
    auto onClick = [this](Control c, std::function<void(bool)> handler) {
        auto* b = static_cast<QAbstractButton*>(control(c));
        connect(b, &QAbstractButton::clicked, this, [this, handler](bool checked) {
            handler(checked);
            applyState();
        });
    };
    MainWindowLogic& l = *logic_;
    onClick(Control::IcpRadio, [&l](bool) { l.clickIcp(); });
    onClick(Control::IspRadio, [&l](bool) { l.clickIsp(); });
    onClick(Control::ComIspRadio, [this](bool) {
        logic_->clickComPortIsp();
        afterCommand(bench_->busy());  // the COM-port search may have started
    });
    onClick(Control::GangBox, [&l](bool ticked) { l.clickGang(ticked); });
    onClick(Control::ProductionBox, [&l](bool on) { l.clickProductionMode(on); });
    onClick(Control::ApromBox, [&l](bool on) { l.clickItem(ImageRegion::Aprom, on); });
    onClick(Control::DataFlashBox, [&l](bool on) { l.clickItem(ImageRegion::DataFlash, on); });
    onClick(Control::LdromBox, [&l](bool on) { l.clickItem(ImageRegion::Ldrom, on); });
    onClick(Control::ConfigBox, [&l](bool on) { l.clickConfig(on); });
    onClick(Control::ConfigSetting, [this](bool) { openConfigView(); });
    onClick(Control::LoadFile, [this](bool) { loadFile(); });
    onClick(Control::LoadProject, [this](bool) { loadProject(); });
    onClick(Control::SaveProject, [this](bool) { saveProject(); });
    onClick(Control::Test, [&l](bool) { l.debugDump(); });
    onClick(Control::DownloadProgrammer,
            [this](bool) { afterCommand(logic_->downloadProgrammer()); });
    onClick(Control::DownloadUpdateIsp,
            [this](bool) { afterCommand(logic_->downloadUpdateIsp()); });
    onClick(Control::UpdateChip, [this](bool) { afterCommand(logic_->updateChip()); });
    onClick(Control::VerifyChip, [this](bool) { afterCommand(logic_->verifyChip()); });
    onClick(Control::ReadChip, [this](bool) { afterCommand(logic_->readChip()); });
    onClick(Control::FwUpdate, [&l](bool) { l.firmwareUpdate(); });
    onClick(Control::ProgrammerInformation, [&l](bool) { l.programmerInformation(); });
    onClick(Control::Exit, [this](bool) {
        if (logic_->exit() == ExitOutcome::Quit) {
            mayClose_ = true;
            close();
        }
    });
    onClick(Control::Cancel, [this](bool) { close(); });

    auto* family = static_cast<QComboBox*>(control(Control::FamilyList));
    connect(family, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            logic_->chooseFamily(static_cast<std::uint32_t>(index));
        applyState();
    });
    auto* comList = static_cast<QComboBox*>(control(Control::ComPortList));
    connect(comList, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            logic_->chooseComPort(index);
        applyState();
    });
    auto* part = static_cast<QComboBox*>(control(Control::PartList));
    connect(part, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            logic_->choosePart(static_cast<std::uint32_t>(index));
        applyState();
    });
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0)
            logic_->chooseTab(static_cast<std::uint32_t>(index));
        applyState();
    });
    connect(panel_->resetTotalsButton(), &QPushButton::clicked, this, [this] {
        logic_->resetShiftTotals();
        showPanel();
    });
    connect(about_, &QAction::triggered, this, &MainWindow::showAbout);
    connect(advanced_, &QAction::triggered, this, &MainWindow::showAdvancedFunctions);
}

void MainWindow::startUp(const QString& workDirectory, const QString& triggerPath) {
    logic_->startUp(workDirectory.toStdString());
    afterCommand(bench_->busy());  // in ISP by COM Port the COM-port search starts at once
    if (triggerPath.isEmpty())
        return;
    triggerServer_ = new QLocalServer(this);
    QLocalServer::removeServer(triggerPath);  // a socket file left by a crashed run
    if (!triggerServer_->listen(triggerPath))
        return;  // another window listens already; this one runs without the trigger
    connect(triggerServer_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = triggerServer_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                const QByteArray line = socket->readLine();
                if (line != QByteArray(kTriggerRequest)) {
                    socket->disconnectFromServer();
                    return;
                }
                socket->write(kTriggerAccepted);
                socket->flush();
                socket->disconnectFromServer();
                // Handled from the event loop, so a box it opens does not hold the socket.
                QTimer::singleShot(0, this, &MainWindow::receiveTrigger);
            });
        }
    });
}

void MainWindow::applyState() {
    const WindowState s = logic_->shownState();
    // Only what changed since the last apply is set, so texts the operator writes directly
    // ("Prog. Type", the port field) stay until the logic itself changes them.
    for (std::size_t i = 0; i < kControlCount; ++i) {
        QWidget* w = controls_[i];
        if (!w)
            continue;
        const ControlState& c = s.controls[i];
        w->setToolTip(q(logic_->tooltip(static_cast<Control>(i))));
        // A click toggles a box before the logic answers; the logic's word is always shown.
        if (auto* box = qobject_cast<QAbstractButton*>(w); box && box->isCheckable()) {
            const QSignalBlocker block(box);
            box->setChecked(c.checked);
        }
        if (applied_[i] == c)
            continue;
        const bool textChanged = !applied_[i] || applied_[i]->text != c.text;
        applied_[i] = c;
        w->setEnabled(c.enabled);
        w->setHidden(!c.visible);
        const QString text = q(c.text);
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (textChanged && !text.isEmpty())
                button->setText(text);
        } else if (!textChanged) {
            continue;
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            group->setTitle(text);
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setText(text);
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->setText(text);
        }
    }
    showList(static_cast<QComboBox*>(control(Control::FamilyList)), s.familyList);
    showList(static_cast<QComboBox*>(control(Control::PartList)), s.partList);
    showList(static_cast<QComboBox*>(control(Control::ComPortList)), s.comPortList);
    {
        const QSignalBlocker block(tabs_);
        const QStringList wanted = toStringList(s.tabs);
        QStringList shown;
        for (int i = 0; i < tabs_->count(); ++i)
            shown << tabs_->tabText(i);
        if (shown != wanted) {
            while (tabs_->count() > 0)
                tabs_->removeTab(0);
            for (const QString& t : wanted)
                tabs_->addTab(t);
        }
        tabs_->setCurrentIndex(static_cast<int>(s.currentTab));
    }
    if (s.imageRevision != shownImageRevision_) {
        hexView_->setBytes(s.imageBytes);
        shownImageRevision_ = s.imageRevision;
    }
    setWindowTitle(q(logic_->windowTitle()));
    showPanel();
}

void MainWindow::showPanel() {
    const WindowState& s = logic_->state();
    panel_->show(logic_->panel(), q(s[Control::SerialField].text), q(s[Control::CounterField].text),
                 bench_->job().gangMode);
}

void MainWindow::afterCommand(bool started) {
    if (started && !workerWatch_->isActive())
        workerWatch_->start();
    applyState();
}

void MainWindow::watchWorker() {
    if (bench_->busy())
        return;
    workerWatch_->stop();
    if (closing_) {
        logic_->close();
        mayClose_ = true;
        close();
        return;
    }
    logic_->commandEnded();
    applyState();
    emit commandEnded();
}

void MainWindow::closeResultBox() {
    // The box of the production run: the one titled "PASS", or else the one titled "FAIL".
    for (const char* title : {"PASS", "FAIL"}) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && w->windowTitle() == QLatin1String(title)) {
                w->close();
                return;
            }
        }
    }
}

void MainWindow::receiveTrigger() {
    afterCommand(logic_->trigger() == TriggerOutcome::Started);
}

void MainWindow::showAbout() {
    QMessageBox box(this);
    box.setWindowTitle(QString::fromLatin1(kAboutTitle));
    box.setIconPixmap(drawProgramIcon().pixmap(48, 48));
    box.setText(QString::fromLatin1(kAboutText));
    box.setStandardButtons(QMessageBox::Ok);
    fitTitle(&box);
    box.exec();
}

void MainWindow::showAdvancedFunctions() {
    if (!logic_->mayOpenAdvancedFunctions())
        return;
    AdvancedSettingsLogic settings(bench_->job(), op_);
    AdvancedDialog dialog(settings, this);
    dialog.exec();
    logic_->advancedClosed();
    applyState();
}

void MainWindow::loadFile() {
    const auto request = logic_->loadFileRequest();
    if (!request)
        return;
    QString path;
    if (chooseImagePath_) {
        path = chooseImagePath_(*request);
    } else {
        path = QFileDialog::getOpenFileName(this, QString(), QString(),
                                            dialogFilter(request->filters));
    }
    logic_->loadFile(path.toStdString());
}

void MainWindow::loadProject() {
    if (!logic_->mayUseProjectFiles())
        return;
    const QString path = chooseProjectPath_ ? chooseProjectPath_(false)
                                            : QFileDialog::getOpenFileName(
                                                  this, QString(), QString(),
                                                  QStringLiteral("Tool Project Files (*.TPJ)"));
    loadProjectFrom(path);
}

void MainWindow::loadProjectFrom(const QString& path) {
    if (!path.isEmpty())
        logic_->loadProject(path.toStdString());
    afterCommand(bench_->busy());  // a project of ISP by COM Port starts the COM-port search
}

void MainWindow::fillRecentMenu() {
    recentMenu_->clear();
    const auto& paths = logic_->recentProjects().paths();
    if (paths.empty()) {
        recentMenu_->addAction(QStringLiteral("(none)"))->setEnabled(false);
        return;
    }
    for (const std::string& path : paths) {
        QAction* action = recentMenu_->addAction(q(projectDisplayName(path)));
        action->setToolTip(q(path));
        action->setStatusTip(q(path));
        action->setEnabled(logic_->mayUseProjectFiles());
        connect(action, &QAction::triggered, this, [this, p = q(path)] { loadProjectFrom(p); });
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QStringList files = droppedFiles(event->mimeData());
    if (files.size() == 1 && dropKindOf(files.front().toStdString()) != DropKind::Unknown)
        event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    // An image only goes onto the buffer tabs or the hex view under them; a project anywhere.
    const QStringList files = droppedFiles(event->mimeData());
    if (files.size() != 1) {
        event->ignore();
        return;
    }
    const DropKind kind = dropKindOf(files.front().toStdString());
    if (kind == DropKind::Project ||
        (kind == DropKind::Image && imageDropTab(event->position().toPoint())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QStringList files = droppedFiles(event->mimeData());
    if (files.size() != 1)
        return;
    const std::string path = files.front().toStdString();
    std::optional<std::uint32_t> tab;
    if (dropKindOf(path) == DropKind::Image) {
        const auto at = imageDropTab(event->position().toPoint());
        if (!at)
            return;
        tab = static_cast<std::uint32_t>(*at);
    }
    event->acceptProposedAction();
    logic_->dropFile(path, tab);
    afterCommand(bench_->busy());
}

std::optional<int> MainWindow::imageDropTab(QPoint at) const {
    if (QWidget* child = childAt(at); child && (child == hexView_ || hexView_->isAncestorOf(child)))
        return tabs_->currentIndex();
    const int tab = tabs_->tabAt(tabs_->mapFrom(this, at));
    if (tab >= 0)
        return tab;
    return std::nullopt;
}

void MainWindow::saveProject() {
    if (!logic_->mayUseProjectFiles())
        return;
    QString path;
    if (chooseProjectPath_) {
        path = chooseProjectPath_(true);
    } else {
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("TPJ"));
        dialog.setNameFilter(QStringLiteral("Tool Project Files (*.TPJ)"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().front();
    }
    if (!path.isEmpty())
        logic_->saveProject(path.toStdString());
    applyState();  // the title names the project
}

void MainWindow::openConfigView() {
    if (!logic_->mayOpenConfigEditor())
        return;
    ProgrammingJob& job = bench_->job();
    if (const auto dialog = ConfigDialog::open(job, job.partIndex, false, nullptr, {}, this))
        dialog->exec();
}

bool MainWindow::askToClose() {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kCloseWhileBusyTitle),
                    QString::fromLatin1(kCloseWhileBusyQuestion),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::reject() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (mayClose_) {
        event->accept();
        emit windowClosed();
        return;
    }
    if (bench_->busy() && !closing_ && !(confirmClose_ ? confirmClose_() : askToClose())) {
        event->ignore();
        return;
    }
    if (bench_->busy()) {
        // Let the worker run to its end without waiting on this thread: it is released from
        // every box, and the window goes away when it has ended (watchWorker).
        closing_ = true;
        op_.dismiss();
        logic_->beginClose();
        hide();
        event->ignore();
        workerWatch_->start();
        return;
    }
    logic_->close();
    mayClose_ = true;
    event->accept();
    emit windowClosed();
}

}  // namespace tarnel::ui

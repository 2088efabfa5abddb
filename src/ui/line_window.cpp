#include "ui/line_window.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "ui/result_panel_widget.h"

namespace tarnel::ui {

namespace {

QString q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* label(QWidget* parent, const QString& name, qreal scale, bool bold) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    QFont font = l->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    l->setFont(font);
    l->setWordWrap(true);
    return l;
}

void setShownText(QLabel* l, const std::string& text) {
    l->setText(q(text));
    l->setVisible(!text.empty());
}

}  // namespace

// Station threads report here; each report is copied and queued to the window's thread.
class LineWindow::Forwarder : public LineListener {
  public:
    explicit Forwarder(LineWindow& window) : window_(window) {}
    void stationChanged(const StationStatus& status) override {
        QMetaObject::invokeMethod(
            &window_, [w = &window_, status] { w->apply(status); }, Qt::QueuedConnection);
    }
    void chipOutcome(const std::string&, const ChipOutcome&) override {}

  private:
    LineWindow& window_;
};

LineWindow::LineWindow(LineSetup setup, QWidget* parent)
    : QWidget(parent),
      setup_(std::move(setup)),
      panel_(setup_),
      listener_(std::make_unique<Forwarder>(*this)) {
    setObjectName(QStringLiteral("LineWindow"));
    setWindowTitle(QStringLiteral("Tarnel line: %1").arg(QFileInfo(q(setup_.path)).fileName()));

    const std::size_t count = panel_.tiles().size();
    const int columns = count <= 1 ? 1 : count <= 4 ? 2 : 3;
    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < count; ++i) {
        TileWidgets t;
        t.frame = new QFrame(this);
        t.frame->setObjectName(QStringLiteral("StationTile%1").arg(i + 1));
        t.frame->setFrameStyle(QFrame::Box);
        auto* name = label(t.frame, QStringLiteral("StationName"), 1.3, true);
        name->setText(q(panel_.tiles()[i].name));
        t.where = label(t.frame, QStringLiteral("StationWhere"), 0.9, false);
        t.state = label(t.frame, QStringLiteral("StationState"), 1.8, true);
        t.state->setAlignment(Qt::AlignCenter);
        t.result = label(t.frame, QStringLiteral("StationResult"), 1.0, true);
        t.serial = label(t.frame, QStringLiteral("StationSerial"), 1.2, true);
        t.totals = label(t.frame, QStringLiteral("StationTotals"), 1.0, false);
        t.message = label(t.frame, QStringLiteral("StationMessage"), 0.9, false);
        t.start = new QPushButton(t.frame);
        t.start->setMinimumHeight(40);
        const auto keys = LinePanel::startKeys(i);
        QStringList shown;
        for (std::size_t k = 0; k < keys.size(); ++k) {
            shown << q(keys[k]);
            if (k == 0) {
                t.start->setShortcut(QKeySequence(q(keys[k])));
                continue;
            }
            auto* more = new QShortcut(QKeySequence(q(keys[k])), this);
            connect(more, &QShortcut::activated, t.start, &QPushButton::click);
        }
        t.start->setText(shown.isEmpty() ? QStringLiteral("Start")
                                         : QStringLiteral("Start (%1)").arg(shown.join('/')));
        connect(t.start, &QPushButton::clicked, this, [this, i] { startClicked(i); });

        auto* layout = new QVBoxLayout(t.frame);
        layout->addWidget(name);
        layout->addWidget(t.where);
        layout->addWidget(t.state);
        layout->addWidget(t.result);
        layout->addWidget(t.serial);
        layout->addWidget(t.totals);
        layout->addWidget(t.message);
        layout->addStretch(1);
        layout->addWidget(t.start);
        grid->addWidget(t.frame, static_cast<int>(i) / columns, static_cast<int>(i) % columns);
        tiles_.push_back(t);
    }
    painted_.resize(count);

    lineTotals_ = label(this, QStringLiteral("LineTotals"), 1.4, true);
    lineState_ = label(this, QStringLiteral("LineState"), 1.0, false);
    stopAll_ = new QPushButton(QStringLiteral("Stop all"), this);
    stopAll_->setMinimumHeight(40);
    stopAll_->setToolTip(QStringLiteral("End every station once its chip is done"));
    connect(stopAll_, &QPushButton::clicked, this, &LineWindow::stopAll);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lineTotals_, 1);
    bottom->addWidget(lineState_);
    bottom->addWidget(stopAll_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(bottom);
    for (std::size_t i = 0; i < count; ++i)
        showTile(i);
    lineTotals_->setText(q(panel_.totalsText()));
    setShownText(lineState_, {});
    stopAll_->setEnabled(false);
    resize(columns * 300, 260 * ((static_cast<int>(count) + columns - 1) / columns) + 60);
}

LineWindow::~LineWindow() {
    if (stopper_.joinable())
        stopper_.join();
    runner_.reset();  // stops and joins the stations before the window's widgets go
}

LineListener& LineWindow::listener() {
    return *listener_;
}

void LineWindow::run(PortFactory& ports, Clock& clock, const LineOptions& options) {
    runner_ = std::make_unique<LineRunner>(setup_, ports, clock, *listener_);
    runner_->start(options);
    stopAll_->setEnabled(true);
    for (std::size_t i = 0; i < tiles_.size(); ++i)
        showTile(i);
}

void LineWindow::apply(const StationStatus& status) {
    const int index = panel_.update(status);
    if (index < 0)
        return;
    showTile(static_cast<std::size_t>(index));
    lineTotals_->setText(q(panel_.totalsText()));
}

void LineWindow::showTile(std::size_t index) {
    const StationTile& tile = panel_.tiles()[index];
    TileWidgets& t = tiles_[index];
    t.where->setText(q(tile.where));
    t.state->setText(q(tile.stateWord));
    setShownText(t.result, tile.result);
    setShownText(t.serial, tile.serial);
    t.totals->setText(q(tile.totals));
    setShownText(t.message, tile.message);
    t.start->setEnabled(runner_ && !stopping_ && (tile.startable || tile.resumable));
    if (painted_[index] != tile.colour) {
        painted_[index] = tile.colour;
        const QString colour = stateColour(tile.colour).name();
        t.state->setStyleSheet(QStringLiteral("background-color: %1; color: white; "
                                              "border-radius: 6px; padding: 2px 8px;")
                                   .arg(colour));
        t.frame->setStyleSheet(
            QStringLiteral("QFrame#%1 { border: 3px solid %2; border-radius: 4px; }")
                .arg(t.frame->objectName(), colour));
    }
}

void LineWindow::startClicked(std::size_t index) {
    if (!runner_ || stopping_)
        return;
    const StationTile& tile = panel_.tiles()[index];
    if (tile.resumable)
        runner_->resume(tile.name);
    else
        runner_->trigger(tile.name);
}

void LineWindow::stopAll() {
    if (!runner_ || stopping_)
        return;
    stopping_ = true;
    stopAll_->setEnabled(false);
    setShownText(lineState_, "Stopping between chips...");
    for (std::size_t i = 0; i < tiles_.size(); ++i)
        showTile(i);
    // Stopping waits for each station's chip to finish: off the window's thread.
    stopper_ = std::thread([this] {
        runner_->stop();
        QMetaObject::invokeMethod(
            this, [this] { stopFinished(); }, Qt::QueuedConnection);
    });
}

void LineWindow::stopFinished() {
    stopped_ = true;
    setShownText(lineState_, "Stopped");
    if (closeWhenStopped_)
        close();
}

void LineWindow::closeEvent(QCloseEvent* event) {
    // The window closes once every station has ended between chips.
    if (!runner_ || stopped_) {
        event->accept();
        return;
    }
    closeWhenStopped_ = true;
    stopAll();
    event->ignore();
}

}  // namespace tarnel::ui

#include "ui/read_back_viewer.h"

#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

#include "core/atomic_file.h"
#include "ui/hex_view.h"

namespace tarnel::ui {

namespace {

// The valid part of a read-back buffer: `last` + 1 bytes, never beyond the buffer.
std::vector<std::uint8_t> validBytes(const std::vector<std::uint8_t>& buffer, std::uint32_t last) {
    const std::size_t length = std::min<std::size_t>(buffer.size(), readBackBytes(last));
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length)};
}

QString askSavePath(QWidget* parent, const QString& suggested) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("BIN"));
    dialog.setNameFilters(
        {QStringLiteral("Binary Files (*.BIN)"), QStringLiteral("All Files (*.*)")});
    dialog.selectFile(suggested);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

}  // namespace

ReadBackViewer::ReadBackViewer(const ReadBackState& readBack, std::uint32_t ldromLastAddress,
                               QWidget* parent)
    : QDialog(parent),
      aprom_(validBytes(readBack.aprom, readBack.apromReadLast)),
      dataFlashTab_(readBack.dataFlashReadValid) {
    setWindowTitle(QStringLiteral("Read Chip"));
    if (readBack.dataFlashReadValid)
        dataFlash_ = validBytes(readBack.dataFlash, readBack.dataFlashReadLast);
    if (readBack.ldromReadValid)
        ldrom_ = validBytes(readBack.ldrom, ldromLastAddress);

    tabs_ = new QTabBar(this);
    tabs_->addTab(QStringLiteral("APROM Contents"));
    if (readBack.dataFlashReadValid)
        tabs_->addTab(QStringLiteral("DataFlash Contents"));
    if (readBack.ldromReadValid)
        tabs_->addTab(QStringLiteral("LDROM Contents"));
    hexView_ = new HexView(this);
    save_ = new QPushButton(this);
    auto* showConfig = new QPushButton(QStringLiteral("Show CONFIG"), this);
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save_);
    buttons->addWidget(showConfig);
    buttons->addStretch();
    buttons->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(hexView_, 1);
    layout->addLayout(buttons);
    resize(hexView_->sizeHint().width() + 40, 420);

    connect(tabs_, &QTabBar::currentChanged, this, &ReadBackViewer::showTab);
    connect(save_, &QPushButton::clicked, this, &ReadBackViewer::save);
    connect(showConfig, &QPushButton::clicked, this, [this] {
        if (showConfig_)
            showConfig_();
    });
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);

    tabs_->setCurrentIndex(0);
    showTab(0);
    QApplication::beep();
}

void ReadBackViewer::showTab(int tab) {
    if (tab == 0) {
        shown_ = ReadBackRegion::Aprom;
    } else if (tab == 1) {
        shown_ = dataFlashTab_ ? ReadBackRegion::DataFlash : ReadBackRegion::Ldrom;
    } else {
        shown_ = ReadBackRegion::Ldrom;
    }
    static const char* const kSaveTexts[] = {"Save APROM Contents", "Save DataFlash Contents",
                                             "Save LDROM Contents"};
    save_->setText(QString::fromLatin1(kSaveTexts[static_cast<int>(shown_)]));
    hexView_->setBytes(bytesOf(shown_));
}

const std::vector<std::uint8_t>& ReadBackViewer::bytesOf(ReadBackRegion region) const {
    switch (region) {
        case ReadBackRegion::Aprom:
            return aprom_;
        case ReadBackRegion::DataFlash:
            return dataFlash_;
        case ReadBackRegion::Ldrom:
            break;
    }
    return ldrom_;
}

QString ReadBackViewer::suggestedName() const {
    static const char* const kNames[] = {"APROM_Contents", "DataFlash_Contents", "LDROM_Contents"};
    return QString::fromLatin1(kNames[static_cast<int>(shown_)]);
}

void ReadBackViewer::save() {
    const QString path =
        choosePath_ ? choosePath_(suggestedName()) : askSavePath(this, suggestedName());
    if (!path.isEmpty())
        saveTo(path);
}

bool ReadBackViewer::saveTo(const QString& path) {
    if (writeFileAtomically(path.toStdString(), bytesOf(shown_)))
        return true;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("ERROR"),
                    QStringLiteral("Open file error !"), QMessageBox::Ok, this);
    box.exec();
    return false;
}

}  // namespace tarnel::ui

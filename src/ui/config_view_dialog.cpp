#include "ui/config_view_dialog.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnel::ui {

ConfigViewDialog::ConfigViewDialog(ConfigLayout layout, const QString& partNumber,
                                   const std::array<std::uint8_t, 8>& bytes, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("CONFIG of %1").arg(partNumber));
    auto hex = [](std::uint32_t value, int digits) {
        return QStringLiteral("0x%1")
            .arg(value, digits, 16, QLatin1Char('0'))
            .toUpper()
            .replace(QStringLiteral("0X"), QStringLiteral("0x"));
    };
    if (isWordLayout(layout)) {
        text_ = QStringLiteral("CONFIG0 = %1\nCONFIG1 = %2")
                    .arg(hex(config0Word(bytes), 8), hex(config1Word(bytes), 8));
    } else {
        for (int n = 0; n < 4; ++n) {
            text_ += QStringLiteral("CONFIG%1 = %2\n").arg(n).arg(hex(configByte(bytes, n), 2));
        }
        text_.chop(1);
    }
    auto* layoutBox = new QVBoxLayout(this);
    auto* name = new QLabel(QString::fromUtf8(layoutName(layout).data(),
                                              static_cast<qsizetype>(layoutName(layout).size())),
                            this);
    auto* values = new QLabel(text_, this);
    values->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    values->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layoutBox->addWidget(name);
    layoutBox->addWidget(values);
    layoutBox->addWidget(ok);
}

}  // namespace tarnel::ui

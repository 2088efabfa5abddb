#include "ui/advanced_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <functional>

namespace tarnel::ui {

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

QLineEdit* field(QWidget* parent, int maxLength) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(maxLength);
    return edit;
}

// Shows text unless the field holds it already, so the cursor stays where the operator types.
void showText(QLineEdit* edit, const std::string& text) {
    if (edit->text() != q(text)) {
        const QSignalBlocker block(edit);
        edit->setText(q(text));
    }
}

}  // namespace

AdvancedDialog::AdvancedDialog(AdvancedSettingsLogic& logic, QWidget* parent)
    : QDialog(parent), logic_(logic) {
    setWindowTitle(QStringLiteral("Advanced Functions"));

    // Limited Usage Times
    usageGroup_ = new QGroupBox(QStringLiteral("Limited Usage Times"), this);
    usageOff_ = new QRadioButton(QStringLiteral("Disable"), usageGroup_);
    usageOn_ = new QRadioButton(QStringLiteral("Enable"), usageGroup_);
    usageLabel_ = new QLabel(QStringLiteral("......Usage Times (1~60000):"), usageGroup_);
    usageField_ = field(usageGroup_, kUsageFieldLength);
    auto* usageLayout = new QHBoxLayout(usageGroup_);
    usageLayout->addWidget(usageOff_);
    usageLayout->addWidget(usageOn_);
    usageLayout->addWidget(usageLabel_);
    usageLayout->addWidget(usageField_);

    // Serial Number (S/N) Programming
    serialGroup_ = new QGroupBox(QStringLiteral("Serial Number (S/N) Programming"), this);
    serialOff_ = new QRadioButton(QStringLiteral("Disable"), serialGroup_);
    serialOn_ = new QRadioButton(QStringLiteral("Enable"), serialGroup_);
    auto* addressLabel = new QLabel(QStringLiteral("Address (in APROM): 0x"), serialGroup_);
    addressField_ = field(serialGroup_, kAddressFieldLength);
    auto* dash = new QLabel(QStringLiteral("-"), serialGroup_);
    endAddressField_ = new QLineEdit(serialGroup_);
    endAddressField_->setReadOnly(true);
    auto* incrementLabel = new QLabel(QStringLiteral("Increment:"), serialGroup_);
    incrementField_ = field(serialGroup_, kSerialFieldLength);
    auto* serialLabel = new QLabel(QStringLiteral("S/N:"), serialGroup_);
    serialField_ = field(serialGroup_, kSerialFieldLength);
    serialControls_ = {addressLabel,   addressField_,   dash,        endAddressField_,
                       incrementLabel, incrementField_, serialLabel, serialField_};
    auto* serialLayout = new QGridLayout(serialGroup_);
    serialLayout->addWidget(serialOff_, 0, 0);
    serialLayout->addWidget(serialOn_, 0, 1);
    serialLayout->addWidget(addressLabel, 1, 0);
    serialLayout->addWidget(addressField_, 1, 1);
    serialLayout->addWidget(dash, 1, 2);
    serialLayout->addWidget(endAddressField_, 1, 3);
    serialLayout->addWidget(incrementLabel, 2, 0);
    serialLayout->addWidget(incrementField_, 2, 1, 1, 3);
    serialLayout->addWidget(serialLabel, 3, 0);
    serialLayout->addWidget(serialField_, 3, 1, 1, 3);

    // UART Protocol
    protocolGroup_ = new QGroupBox(QStringLiteral("UART Protocol for 'ISP by COM Port'"), this);
    fast_ = new QRadioButton(QStringLiteral("Fast Protocol"), protocolGroup_);
    normal_ = new QRadioButton(QStringLiteral("Normal Protocol"), protocolGroup_);
    auto* protocolLayout = new QHBoxLayout(protocolGroup_);
    protocolLayout->addWidget(fast_);
    protocolLayout->addWidget(normal_);

    // Chip Counter
    auto* counterGroup = new QGroupBox(QStringLiteral("Chip Counter"), this);
    counterOff_ = new QRadioButton(QStringLiteral("Disable"), counterGroup);
    counterOn_ = new QRadioButton(QStringLiteral("Enable"), counterGroup);
    direction_ = new QPushButton(counterGroup);
    counterField_ = field(counterGroup, kCounterFieldLength);
    counterSpin_ = new QSpinBox(counterGroup);  // exists, does nothing
    counterSpin_->setVisible(false);
    auto* counterLayout = new QHBoxLayout(counterGroup);
    counterLayout->addWidget(counterOff_);
    counterLayout->addWidget(counterOn_);
    counterLayout->addWidget(direction_);
    counterLayout->addWidget(counterField_);
    counterLayout->addWidget(counterSpin_);

    // Gang Mode Setting
    gangGroup_ = new QGroupBox(QStringLiteral("Gang Mode Setting"), this);
    programAndVerify_ =
        new QRadioButton(QStringLiteral("Normal Mode (do Program and Verify)"), gangGroup_);
    verifyOnly_ = new QRadioButton(QStringLiteral("Verify Mode (do Verify only)"), gangGroup_);
    auto* gangLayout = new QVBoxLayout(gangGroup_);
    gangLayout->addWidget(programAndVerify_);
    gangLayout->addWidget(verifyOnly_);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    for (QWidget* w : {static_cast<QWidget*>(usageGroup_), static_cast<QWidget*>(serialGroup_),
                       static_cast<QWidget*>(protocolGroup_), static_cast<QWidget*>(counterGroup),
                       static_cast<QWidget*>(gangGroup_)}) {
        layout->addWidget(w);
    }
    layout->addWidget(ok, 0, Qt::AlignRight);

    logic_.open();
    apply();

    auto onClick = [this](QRadioButton* radio, auto action) {
        connect(radio, &QRadioButton::clicked, this, [this, action] {
            action();
            apply();
        });
    };
    onClick(usageOff_, [this] { logic_.setUsageEnabled(false); });
    onClick(usageOn_, [this] { logic_.setUsageEnabled(true); });
    onClick(serialOff_, [this] { logic_.setSerialEnabled(false); });
    onClick(serialOn_, [this] { logic_.setSerialEnabled(true); });
    onClick(fast_, [this] { logic_.setFastProtocol(true); });
    onClick(normal_, [this] { logic_.setFastProtocol(false); });
    onClick(counterOff_, [this] { logic_.setCounterEnabled(false); });
    onClick(counterOn_, [this] { logic_.setCounterEnabled(true); });
    onClick(programAndVerify_, [this] { logic_.setVerifyOnly(false); });
    onClick(verifyOnly_, [this] { logic_.setVerifyOnly(true); });
    connect(direction_, &QPushButton::clicked, this, [this] {
        logic_.flipCountDirection();
        apply();
    });

    auto onEdit = [this](QLineEdit* edit, std::function<void(const std::string&)> handler) {
        connect(edit, &QLineEdit::textChanged, this, [this, handler](const QString& text) {
            handler(text.toStdString());
            apply();
        });
    };
    onEdit(usageField_, [this](const std::string& t) { logic_.usageEdited(t); });
    onEdit(addressField_, [this](const std::string& t) { logic_.addressEdited(t); });
    onEdit(incrementField_, [this](const std::string& t) { logic_.incrementEdited(t); });
    onEdit(serialField_, [this](const std::string& t) { logic_.serialEdited(t); });
    onEdit(counterField_, [this](const std::string& t) { logic_.counterEdited(t); });
}

void AdvancedDialog::apply() {
    const AdvancedState& s = logic_.state();
    auto radios = [](QRadioButton* off, QRadioButton* on, bool isOn) {
        const QSignalBlocker a(off), b(on);
        (isOn ? on : off)->setChecked(true);
    };

    radios(usageOff_, usageOn_, s.usageEnabled);
    usageGroup_->setEnabled(s.usageGroupEnabled);
    usageLabel_->setEnabled(s.usageEnabled);
    usageField_->setEnabled(s.usageEnabled);
    showText(usageField_, s.usageText);

    radios(serialOff_, serialOn_, s.serialEnabled);
    serialGroup_->setEnabled(s.serialGroupEnabled);
    for (QWidget* w : serialControls_)
        w->setEnabled(s.serialEnabled);
    showText(addressField_, s.addressText);
    showText(endAddressField_, s.endAddressText);
    showText(incrementField_, s.incrementText);
    showText(serialField_, s.serialText);

    radios(normal_, fast_, s.fastProtocol);
    protocolGroup_->setEnabled(s.protocolGroupEnabled);

    radios(counterOff_, counterOn_, s.counterEnabled);
    direction_->setText(q(s.directionText));
    direction_->setEnabled(s.counterEnabled);
    counterField_->setEnabled(s.counterEnabled);
    counterSpin_->setEnabled(s.counterEnabled);
    showText(counterField_, s.counterText);

    radios(programAndVerify_, verifyOnly_, s.verifyOnly);
    gangGroup_->setEnabled(s.gangGroupEnabled);
}

}  // namespace tarnel::ui

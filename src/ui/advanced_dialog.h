#pragma once
// "Advanced Functions": a thin rendering of AdvancedSettingsLogic. Every edit goes to the
// logic at once; the widgets then show what the logic holds.

#include <QDialog>

#include "app/advanced_settings.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tarnel::ui {

class AdvancedDialog : public QDialog {
    Q_OBJECT
  public:
    AdvancedDialog(AdvancedSettingsLogic& logic, QWidget* parent = nullptr);

    QLineEdit* usageField() const { return usageField_; }
    QLineEdit* addressField() const { return addressField_; }
    QLineEdit* endAddressField() const { return endAddressField_; }
    QLineEdit* incrementField() const { return incrementField_; }
    QLineEdit* serialField() const { return serialField_; }
    QLineEdit* counterField() const { return counterField_; }
    QPushButton* directionButton() const { return direction_; }
    QGroupBox* usageGroup() const { return usageGroup_; }
    QGroupBox* gangGroup() const { return gangGroup_; }

  private:
    void apply();

    AdvancedSettingsLogic& logic_;
    QGroupBox* usageGroup_;
    QRadioButton* usageOff_;
    QRadioButton* usageOn_;
    QLabel* usageLabel_;
    QLineEdit* usageField_;
    QGroupBox* serialGroup_;
    QRadioButton* serialOff_;
    QRadioButton* serialOn_;
    QList<QWidget*> serialControls_;
    QLineEdit* addressField_;
    QLineEdit* endAddressField_;
    QLineEdit* incrementField_;
    QLineEdit* serialField_;
    QGroupBox* protocolGroup_;
    QRadioButton* fast_;
    QRadioButton* normal_;
    QRadioButton* counterOff_;
    QRadioButton* counterOn_;
    QPushButton* direction_;
    QLineEdit* counterField_;
    QSpinBox* counterSpin_;
    QGroupBox* gangGroup_;
    QRadioButton* programAndVerify_;
    QRadioButton* verifyOnly_;
};

}  // namespace tarnel::ui

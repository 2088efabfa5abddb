#pragma once
// The PASS and FAIL boxes: the result text, the drawn word and the local time.

#include <QDialog>
#include <QString>

#include "core/operator.h"

class QLabel;

namespace tarnel::ui {

// "%04d-%02d-%02d_%02d:%02d:%02d" of the local time now.
QString resultTimeText();

class ResultDialog : public QDialog {
    Q_OBJECT
  public:
    ResultDialog(ResultKind kind, const QString& text, QWidget* parent = nullptr);

    QString messageText() const;
    QString timeText() const;

  private:
    QLabel* message_;
    QLabel* time_;
};

}  // namespace tarnel::ui

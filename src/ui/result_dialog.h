#pragma once
// The PASS and FAIL boxes: the result text, the drawn word, the local time, and a smaller
// detail line where the system knows more than the text says.

#include <QDialog>
#include <QString>

#include "core/operator.h"

class QLabel;

namespace tarnel::ui {

// "%04d-%02d-%02d_%02d:%02d:%02d" of the local time now.
QString resultTimeText();

// Makes a dialog wide enough that the title bar shows its whole title.
void fitTitle(QWidget* dialog);

// Lays out a label's text on the lines it has: no wrapping unless a line is wider than
// maxWidth, so a closing ")" or "!" never ends up alone on a line.
void keepLines(QLabel* label, int maxWidth);

class ResultDialog : public QDialog {
    Q_OBJECT
  public:
    ResultDialog(ResultKind kind, const QString& text, QWidget* parent = nullptr,
                 const QString& detail = {});

    QString messageText() const;
    QString detailText() const;
    QString timeText() const;

  private:
    QLabel* message_;
    QLabel* detail_;
    QLabel* time_;
};

}  // namespace tarnel::ui

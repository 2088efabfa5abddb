#pragma once
// "Select Chip in the Sockets": the gang socket for Verify Chip and Read Chip.

#include <QDialog>
#include <array>

class QRadioButton;

namespace tarnel::ui {

class SocketChoiceDialog : public QDialog {
    Q_OBJECT
  public:
    SocketChoiceDialog(int current, QWidget* parent = nullptr);
    // The socket (1..4) after the dialog: the selected one when closed by OK, else the one
    // it opened with.
    int socket() const;
    void choose(int socket);
    // The socket whose radio is selected now.
    int selected() const;

  private:
    std::array<QRadioButton*, 4> radios_{};
    int opened_ = 1;
};

}  // namespace tarnel::ui

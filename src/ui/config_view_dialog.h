#pragma once
// A read-only view of eight CONFIG bytes as the part's layout reads them: the CONFIG0 and
// CONFIG1 words of a 32-bit part, the CONFIG bytes of an 8051 part.

#include <QDialog>
#include <array>
#include <cstdint>

#include "core/config_model.h"

namespace tarnel::ui {

class ConfigViewDialog : public QDialog {
    Q_OBJECT
  public:
    ConfigViewDialog(ConfigLayout layout, const QString& partNumber,
                     const std::array<std::uint8_t, 8>& bytes, QWidget* parent = nullptr);
    QString text() const { return text_; }

  private:
    QString text_;
};

}  // namespace tarnel::ui

#pragma once
// The "Advanced Functions" dialog without a toolkit: usage limit, S/N programming, UART
// protocol, chip counter and gang verify-only mode. Every edit is checked and written into
// the job at once; invalid input gets an "ERROR" box and the field is rewritten with what
// the job holds. Field texts change only on opening and on such a rewrite, so what the
// operator types stays as typed while it is valid.
//
// The value checks are shared with the command line, so both accept, refuse and clamp alike.

#include <string>
#include <string_view>

#include "core/operator.h"
#include "core/programming_job.h"

namespace tarnel {

struct AdvancedState {
    // "Limited Usage Times"
    bool usageGroupEnabled = true;
    bool usageEnabled = false;  // "Enable" selected; the label and field follow
    std::string usageText;
    // "Serial Number (S/N) Programming"
    bool serialGroupEnabled = true;
    bool serialEnabled = false;  // "Enable" selected; the four fields follow
    std::string addressText;
    std::string endAddressText;
    std::string incrementText;
    std::string serialText;
    // "UART Protocol for 'ISP by COM Port'"
    bool protocolGroupEnabled = true;
    bool fastProtocol = false;
    // "Chip Counter"
    bool counterEnabled = false;  // the direction button and the field follow
    std::string directionText;    // "Count Up" / "Count Down"
    std::string counterText;
    // "Gang Mode Setting"
    bool gangGroupEnabled = true;
    bool verifyOnly = false;
};

// Field limits of the dialog.
inline constexpr int kUsageFieldLength = 5;
inline constexpr int kAddressFieldLength = 5;
inline constexpr int kSerialFieldLength = 16;
inline constexpr int kCounterFieldLength = 6;

inline constexpr std::uint32_t kUsageTimesMax = 60000;
inline constexpr std::uint32_t kSerialAddressMax = 0x1FFF8;

// The outcome of a setup value written into the job: `error` is the ERROR text (empty when
// the text was taken as given); `stored` tells whether the job now holds the value, as given
// or clamped to its range. A refused text leaves the job as it was.
struct SetupValueCheck {
    std::string error;
    bool stored = false;
};

// Each takes the text as typed into its field. An empty text stands for the value an empty
// field gives: usage times 1, address 0, increment and S/N 0, counter 0.
SetupValueCheck setUsageTimes(ProgrammingJob& job, std::string_view digits);
// Hexadecimal; above kSerialAddressMax the address is clamped to it (with the error).
SetupValueCheck setSerialAddress(ProgrammingJob& job, std::string_view hexDigits);
SetupValueCheck setSerialIncrement(ProgrammingJob& job, std::string_view digits);
SetupValueCheck setSerialNumber(ProgrammingJob& job, std::string_view digits);
// Above kChipCounterMax the counter is clamped to it (with the error).
SetupValueCheck setChipCounter(ProgrammingJob& job, std::string_view digits);

class AdvancedSettingsLogic {
  public:
    AdvancedSettingsLogic(ProgrammingJob& job, Operator& op);

    // Opening the dialog: the controls from the job, and the groups the mode allows.
    const AdvancedState& open();
    const AdvancedState& state() const { return state_; }

    void setUsageEnabled(bool enabled);
    void usageEdited(std::string_view text);
    void setSerialEnabled(bool enabled);
    void addressEdited(std::string_view text);
    void incrementEdited(std::string_view text);
    void serialEdited(std::string_view text);
    void setFastProtocol(bool fast);
    void setCounterEnabled(bool enabled);
    void flipCountDirection();
    void counterEdited(std::string_view text);
    void setVerifyOnly(bool verifyOnly);

  private:
    void showUsage();
    void showAddress();
    // Shows the error of a check, if any; true when the job holds the value.
    bool report(const SetupValueCheck& check);

    ProgrammingJob& job_;
    Operator& op_;
    AdvancedState state_;
};

// Display forms of the dialog's fields.
std::string usageTimesText(std::uint8_t high, std::uint8_t low);
std::string incrementText(std::uint32_t high, std::uint32_t low);
std::string sixteenDigitText(std::uint32_t high, std::uint32_t low);  // "%08d%08d"

}  // namespace tarnel

#pragma once
// What the ISP-by-COM-port flows tell the operator.

#include <cstdint>

namespace tarnel::isp {

inline constexpr const char* kDetectText =
    "Detect chip... (!!! Now, reset the chip, or power off and power on again.)";
inline constexpr const char* kDetectOk = "Detect chip... ok !";
inline constexpr const char* kNotOpened = "ComPort cannot be opened !";
inline constexpr const char* kNotReopened = "ComPort cannot be re-opened !";
inline constexpr const char* kBaudError = "ComPort baudrate-setting error !";
inline constexpr const char* kPortFileNotSaved = "'GUI_ComPortISP.LOG' cannot be saved !";
inline constexpr const char* kPortFileNotCreated = "'GUI_ComPortISP.LOG' cannot be created !";
inline constexpr const char* kDataFlashHint =
    "\nPlease check:\n (1) Part No.\n (2) Chip's actual CONFIG setting related to DataFlash\n";
inline constexpr const char* kCodeProtectionWarning =
    "APROM will be erased because code protection is changed from \"Enable\" to "
    "\"Disable\" !";
// The part whose region failures come with a hint about its DataFlash setting.
inline constexpr std::uint32_t kHintPartIndex = 39;

}  // namespace tarnel::isp

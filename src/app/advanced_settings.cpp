#include "app/advanced_settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

namespace tarnel {

namespace {

constexpr const char* kNotDecimal = " is not a decimal number !";
constexpr const char* kNotHexadecimal = " is not a hexadecimal number !";

bool allOf(std::string_view text, int (*isClass)(int)) {
    return std::all_of(text.begin(), text.end(),
                       [isClass](char c) { return isClass(static_cast<unsigned char>(c)) != 0; });
}

// Value of a text of decimal digits; texts longer than any field allows saturate.
std::uint64_t decimalValue(std::string_view digits) {
    std::uint64_t value = 0;
    for (char c : digits) {
        if (value > 1'000'000'000'000'000'000ULL)
            return value;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::uint64_t hexValue(std::string_view digits) {
    std::uint64_t value = 0;
    for (char c : digits) {
        if (value > 0xFFFF'FFFF'FFFFULL)
            return value;
        const int d = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        value = value * 16 + static_cast<std::uint64_t>(d);
    }
    return value;
}

std::string format(const char* pattern, unsigned long value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string hexText(std::uint32_t value) {
    return format("%lX", value);
}

// A 16-digit number typed as text into its two 8-digit halves.
void splitDigits(std::string_view digits, std::uint32_t& high, std::uint32_t& low) {
    high = 0;
    low = 0;
    if (digits.size() <= 8) {
        low = static_cast<std::uint32_t>(decimalValue(digits));
        return;
    }
    const std::size_t split = digits.size() - 8;
    low = static_cast<std::uint32_t>(decimalValue(digits.substr(split)));
    high = static_cast<std::uint32_t>(decimalValue(digits.substr(0, split)) % kSerialHalfLimit);
}

}  // namespace

std::string usageTimesText(std::uint8_t high, std::uint8_t low) {
    if (high == 0xFF && low == 0xFF)
        return std::to_string(kUsageTimesMax);
    return std::to_string(high * 256u + low);
}

std::string incrementText(std::uint32_t high, std::uint32_t low) {
    if (high == 0)
        return format("%lu", low);
    return format("%lu", high) + format("%08lu", low);
}

std::string sixteenDigitText(std::uint32_t high, std::uint32_t low) {
    return format("%08lu", high) + format("%08lu", low);
}

AdvancedSettingsLogic::AdvancedSettingsLogic(ProgrammingJob& job, Operator& op)
    : job_(job), op_(op) {}

const AdvancedState& AdvancedSettingsLogic::open() {
    state_ = AdvancedState{};
    state_.usageEnabled = job_.usageLimitEnabled;
    showUsage();
    state_.usageGroupEnabled = !job_.comPortIspMode && !job_.gangMode;

    state_.serialEnabled = job_.serialEnabled;
    job_.serialHigh %= kSerialHalfLimit;
    job_.incrementHigh %= kSerialHalfLimit;
    showAddress();
    state_.incrementText = incrementText(job_.incrementHigh, job_.incrementLow);
    state_.serialText = sixteenDigitText(job_.serialHigh, job_.serialLow);
    state_.serialGroupEnabled = job_.icpMode || job_.comPortIspMode;

    state_.counterEnabled = job_.chipCounterEnabled;
    state_.directionText = job_.chipCounterDown ? "Count Down" : "Count Up";
    state_.counterText = format("%06lu", job_.chipCounter);

    state_.fastProtocol = job_.uartFastProtocol;
    state_.protocolGroupEnabled = job_.comPortIspMode;

    state_.verifyOnly = job_.gangVerifyOnly;
    state_.gangGroupEnabled = job_.gangMode;
    return state_;
}

void AdvancedSettingsLogic::showUsage() {
    state_.usageText = usageTimesText(job_.usageTimesHigh, job_.usageTimesLow);
}

void AdvancedSettingsLogic::showAddress() {
    state_.addressText = hexText(job_.serialAddress);
    state_.endAddressText = hexText(job_.serialAddress + 7);
}

bool AdvancedSettingsLogic::decimalNumber(std::string_view text) {
    if (allOf(text, std::isdigit))
        return true;
    showError(op_, std::string(text) + kNotDecimal);
    return false;
}

void AdvancedSettingsLogic::setUsageEnabled(bool enabled) {
    job_.usageLimitEnabled = enabled;
    state_.usageEnabled = enabled;
}

void AdvancedSettingsLogic::usageEdited(std::string_view text) {
    state_.usageText = text;
    if (!decimalNumber(text)) {
        showUsage();
        return;
    }
    const std::uint64_t value = text.empty() ? 1 : decimalValue(text);
    if (value < 1 || value > kUsageTimesMax) {
        showError(op_, "Usage Times should be 1 ~ 60000 !");
        showUsage();
        return;
    }
    job_.usageTimesHigh = static_cast<std::uint8_t>(value >> 8);
    job_.usageTimesLow = static_cast<std::uint8_t>(value & 0xFF);
}

void AdvancedSettingsLogic::setSerialEnabled(bool enabled) {
    job_.serialEnabled = enabled;
    state_.serialEnabled = enabled;
}

void AdvancedSettingsLogic::addressEdited(std::string_view text) {
    state_.addressText = text;
    if (!allOf(text, std::isxdigit)) {
        showError(op_, std::string(text) + kNotHexadecimal);
        showAddress();
        return;
    }
    const std::uint64_t value = text.empty() ? 0 : hexValue(text);
    if (value > kSerialAddressMax) {
        showError(op_, "SerialNumber starting address should be 0x00000 ~ 0x1FFF8 !");
        job_.serialAddress = kSerialAddressMax;
        showAddress();
        return;
    }
    job_.serialAddress = static_cast<std::uint32_t>(value);
    state_.endAddressText = hexText(job_.serialAddress + 7);
}

void AdvancedSettingsLogic::incrementEdited(std::string_view text) {
    state_.incrementText = text;
    if (!decimalNumber(text)) {
        state_.incrementText = incrementText(job_.incrementHigh, job_.incrementLow);
        return;
    }
    splitDigits(text, job_.incrementHigh, job_.incrementLow);
}

void AdvancedSettingsLogic::serialEdited(std::string_view text) {
    state_.serialText = text;
    if (!decimalNumber(text)) {
        state_.serialText = sixteenDigitText(job_.serialHigh, job_.serialLow);
        return;
    }
    splitDigits(text, job_.serialHigh, job_.serialLow);
}

void AdvancedSettingsLogic::setFastProtocol(bool fast) {
    job_.uartFastProtocol = fast;
    state_.fastProtocol = fast;
}

void AdvancedSettingsLogic::setCounterEnabled(bool enabled) {
    job_.chipCounterEnabled = enabled;
    state_.counterEnabled = enabled;
}

void AdvancedSettingsLogic::flipCountDirection() {
    job_.chipCounterDown = !job_.chipCounterDown;
    state_.directionText = job_.chipCounterDown ? "Count Down" : "Count Up";
}

void AdvancedSettingsLogic::counterEdited(std::string_view text) {
    state_.counterText = text;
    if (!decimalNumber(text)) {
        state_.counterText = format("%06lu", job_.chipCounter);
        return;
    }
    const std::uint64_t value = text.empty() ? 0 : decimalValue(text);
    if (value > kChipCounterMax) {
        showError(op_, "Counter value should be 0 ~ 999999 !");
        job_.chipCounter = kChipCounterMax;
        state_.counterText = format("%06lu", job_.chipCounter);
        return;
    }
    job_.chipCounter = static_cast<std::uint32_t>(value);
}

void AdvancedSettingsLogic::setVerifyOnly(bool verifyOnly) {
    job_.gangVerifyOnly = verifyOnly;
    state_.verifyOnly = verifyOnly;
}

}  // namespace tarnel

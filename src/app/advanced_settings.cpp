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

SetupValueCheck notDecimal(std::string_view text) {
    return {std::string(text) + kNotDecimal, false};
}

}  // namespace

SetupValueCheck setUsageTimes(ProgrammingJob& job, std::string_view digits) {
    if (!allOf(digits, std::isdigit))
        return notDecimal(digits);
    const std::uint64_t value = digits.empty() ? 1 : decimalValue(digits);
    if (value < 1 || value > kUsageTimesMax)
        return {"Usage Times should be 1 ~ 60000 !", false};
    job.usageTimesHigh = static_cast<std::uint8_t>(value >> 8);
    job.usageTimesLow = static_cast<std::uint8_t>(value & 0xFF);
    return {{}, true};
}

SetupValueCheck setSerialAddress(ProgrammingJob& job, std::string_view hexDigits) {
    if (!allOf(hexDigits, std::isxdigit))
        return {std::string(hexDigits) + kNotHexadecimal, false};
    const std::uint64_t value = hexDigits.empty() ? 0 : hexValue(hexDigits);
    if (value > kSerialAddressMax) {
        job.serialAddress = kSerialAddressMax;
        return {"SerialNumber starting address should be 0x00000 ~ 0x1FFF8 !", true};
    }
    job.serialAddress = static_cast<std::uint32_t>(value);
    return {{}, true};
}

SetupValueCheck setSerialIncrement(ProgrammingJob& job, std::string_view digits) {
    if (!allOf(digits, std::isdigit))
        return notDecimal(digits);
    splitDigits(digits, job.incrementHigh, job.incrementLow);
    return {{}, true};
}

SetupValueCheck setSerialNumber(ProgrammingJob& job, std::string_view digits) {
    if (!allOf(digits, std::isdigit))
        return notDecimal(digits);
    splitDigits(digits, job.serialHigh, job.serialLow);
    return {{}, true};
}

SetupValueCheck setChipCounter(ProgrammingJob& job, std::string_view digits) {
    if (!allOf(digits, std::isdigit))
        return notDecimal(digits);
    const std::uint64_t value = digits.empty() ? 0 : decimalValue(digits);
    if (value > kChipCounterMax) {
        job.chipCounter = kChipCounterMax;
        return {"Counter value should be 0 ~ 999999 !", true};
    }
    job.chipCounter = static_cast<std::uint32_t>(value);
    return {{}, true};
}

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

bool AdvancedSettingsLogic::report(const SetupValueCheck& check) {
    if (!check.error.empty())
        showError(op_, check.error);
    return check.stored;
}

void AdvancedSettingsLogic::setUsageEnabled(bool enabled) {
    job_.usageLimitEnabled = enabled;
    state_.usageEnabled = enabled;
}

void AdvancedSettingsLogic::usageEdited(std::string_view text) {
    state_.usageText = text;
    if (!report(setUsageTimes(job_, text)))
        showUsage();
}

void AdvancedSettingsLogic::setSerialEnabled(bool enabled) {
    job_.serialEnabled = enabled;
    state_.serialEnabled = enabled;
}

void AdvancedSettingsLogic::addressEdited(std::string_view text) {
    state_.addressText = text;
    const SetupValueCheck check = setSerialAddress(job_, text);
    if (!report(check) || !check.error.empty()) {
        showAddress();  // refused or clamped: the field shows what the job holds
        return;
    }
    state_.endAddressText = hexText(job_.serialAddress + 7);
}

void AdvancedSettingsLogic::incrementEdited(std::string_view text) {
    state_.incrementText = text;
    if (!report(setSerialIncrement(job_, text)))
        state_.incrementText = incrementText(job_.incrementHigh, job_.incrementLow);
}

void AdvancedSettingsLogic::serialEdited(std::string_view text) {
    state_.serialText = text;
    if (!report(setSerialNumber(job_, text)))
        state_.serialText = sixteenDigitText(job_.serialHigh, job_.serialLow);
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
    const SetupValueCheck check = setChipCounter(job_, text);
    if (!report(check) || !check.error.empty())
        state_.counterText = format("%06lu", job_.chipCounter);
}

void AdvancedSettingsLogic::setVerifyOnly(bool verifyOnly) {
    job_.gangVerifyOnly = verifyOnly;
    state_.verifyOnly = verifyOnly;
}

}  // namespace tarnel

#include "core/programming_job.h"

#include <algorithm>
#include <cstring>

#include "core/config_model.h"

namespace tarnel {

namespace {

constexpr std::uint64_t kSerialModulus = 10000000000000000ULL;  // 10^16: sixteen digits

std::uint64_t combine(std::uint32_t high, std::uint32_t low) {
    return std::uint64_t{high} * kSerialHalfLimit + low;
}

void split(std::uint64_t value, std::uint32_t& high, std::uint32_t& low) {
    high = static_cast<std::uint32_t>(value / kSerialHalfLimit);
    low = static_cast<std::uint32_t>(value % kSerialHalfLimit);
}

// Packs eight decimal digits, least significant pair first.
void packHalf(std::uint32_t half, std::uint8_t* out) {
    for (int i = 0; i < 4; ++i) {
        const unsigned pair = half % 100;
        half /= 100;
        out[i] = static_cast<std::uint8_t>((pair / 10) << 4 | (pair % 10));
    }
}

std::uint32_t unpackHalf(const std::uint8_t* in) {
    std::uint32_t half = 0;
    for (int i = 3; i >= 0; --i) {
        const unsigned tens = std::min(in[i] >> 4, 9);
        const unsigned ones = std::min(in[i] & 0x0F, 9);
        half = half * 100 + tens * 10 + ones;
    }
    return half;
}

}  // namespace

Bcd8 serialAsBcd(std::uint32_t high, std::uint32_t low) {
    Bcd8 bcd{};
    packHalf(low % kSerialHalfLimit, bcd.data());
    packHalf(high % kSerialHalfLimit, bcd.data() + 4);
    return bcd;
}

void serialFromBcd(const Bcd8& bcd, std::uint32_t& high, std::uint32_t& low) {
    low = unpackHalf(bcd.data());
    high = unpackHalf(bcd.data() + 4);
}

ProgrammingJob::ProgrammingJob() {
    setComPortName(kDefaultComPort);
    catalogue.setLegacyListMasked(true);
}

void ProgrammingJob::refreshDerivedState() {
    const std::uint8_t low = programmerType & 0x0F;
    const std::uint8_t high = programmerType & 0xF0;
    comPortIspMode = low == kTypeIspByCom;
    icpMode = low == kTypeIcp;
    gangMode = high == kTypeGang;
    productionMode = high == kTypeProduction;

    const PartRecord& p = part();
    separateApromErase = p.legacyConfig && !icpMode;

    const ConfigDefaults defaults = defaultConfig(p, icpMode);
    configBytes = defaults.bytes;
    if (defaults.dataFlashPages)
        dataFlashPages = *defaults.dataFlashPages;
}

std::uint8_t ProgrammingJob::buildFlags() {
    std::uint8_t f = flags & 0x20;  // bit 5 keeps what the last project file set
    if (icpMode)
        f |= 0x80;
    if (separateApromErase)
        f |= 0x40;
    if (updateIspDownload)
        f |= 0x10;
    if (updateAprom)
        f |= 0x08;
    if (updateDataFlash)
        f |= 0x04;
    if (updateLdrom)
        f |= 0x02;
    if (updateConfig)
        f |= 0x01;
    flags = f;
    return flags;
}

void ProgrammingJob::advanceSerialNumber() {
    const std::uint64_t next =
        (combine(serialHigh, serialLow) + combine(incrementHigh, incrementLow)) % kSerialModulus;
    split(next, serialHigh, serialLow);
    if (countersChanged)
        countersChanged();
}

void ProgrammingJob::retreatSerialNumber() {
    // Sixteen-digit subtraction with borrow; below zero it wraps modulo 10^16, so both halves
    // stay within 0..99999999 and a retreat always undoes an advance.
    const std::uint64_t step = combine(incrementHigh, incrementLow) % kSerialModulus;
    const std::uint64_t value = combine(serialHigh, serialLow) % kSerialModulus;
    split((value + kSerialModulus - step) % kSerialModulus, serialHigh, serialLow);
    if (countersChanged)
        countersChanged();
}

void ProgrammingJob::countChips() {
    if (!chipCounterEnabled)
        return;
    const std::uint32_t step = gangMode ? gangPassCount : 1;
    if (chipCounterDown) {
        chipCounter = chipCounter > step ? chipCounter - step : 0;
    } else {
        chipCounter = std::min(chipCounter + step, kChipCounterMax);
    }
    if (countersChanged)
        countersChanged();
}

std::string ProgrammingJob::comPortText() const {
    return std::string(comPortName.data(), strnlen(comPortName.data(), comPortName.size()));
}

void ProgrammingJob::setComPortName(std::string_view name) {
    comPortName.fill('\0');
    const std::size_t n = std::min(name.size(), comPortName.size() - 1);
    std::memcpy(comPortName.data(), name.data(), n);
}

}  // namespace tarnel

#include "sim/programmer_state.h"

namespace tarnel::sim {

std::array<std::uint8_t, 8> addBcd(const std::array<std::uint8_t, 8>& serial,
                                   const std::array<std::uint8_t, 8>& increment) {
    std::array<std::uint8_t, 8> sum{};
    unsigned carry = 0;
    for (int i = 7; i >= 0; --i) {
        unsigned low = (serial[i] & 0x0F) + (increment[i] & 0x0F) + carry;
        carry = low > 9 ? 1 : 0;
        low -= carry * 10;
        unsigned high = (serial[i] >> 4) + (increment[i] >> 4) + carry;
        carry = high > 9 ? 1 : 0;
        high -= carry * 10;
        sum[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return sum;  // a carry out of the sixteenth digit is dropped
}

bool StoredSetup::updates(Region region) const {
    switch (region) {
        case Region::Aprom:
            return (flags & 0x08) != 0;
        case Region::DataFlash:
            return (flags & 0x04) != 0;
        case Region::Ldrom:
            return (flags & 0x02) != 0;
    }
    return false;
}

StoredImage& StoredSetup::image(Region region) {
    return region == Region::Aprom ? aprom : region == Region::DataFlash ? dataFlash : ldrom;
}

const StoredImage& StoredSetup::image(Region region) const {
    return region == Region::Aprom ? aprom : region == Region::DataFlash ? dataFlash : ldrom;
}

std::vector<std::uint8_t>& SimChip::memory(Region region) {
    return region == Region::Aprom ? aprom : region == Region::DataFlash ? dataFlash : ldrom;
}

const std::vector<std::uint8_t>& SimChip::memory(Region region) const {
    return region == Region::Aprom ? aprom : region == Region::DataFlash ? dataFlash : ldrom;
}

bool SimChip::matches(std::uint32_t storedPartIndex) const {
    if (!present || wrongDeviceId)
        return false;
    if (!partIndex)
        return true;
    if (*partIndex == storedPartIndex)
        return true;
    // Another row of the same device id is the same silicon.
    const std::uint32_t id = partRow(*partIndex).deviceId & 0xFFFF;
    return id != 0 && id == (partRow(storedPartIndex).deviceId & 0xFFFF);
}

std::size_t regionSize(const PartRecord& part, Region region) {
    switch (region) {
        case Region::Aprom:
            return part.partNumber.empty() ? 0 : std::size_t{part.apromLastAddress} + 1;
        case Region::DataFlash:
            return part.hasDataFlash ? part.dataFlashSize : 0;
        case Region::Ldrom:
            return part.ldromLastAddress == 0 ? 0 : std::size_t{part.ldromLastAddress} + 1;
    }
    return 0;
}

void shapeChip(SimChip& chip, const PartRecord& part) {
    std::size_t i = 0;
    for (const Region region : {Region::Aprom, Region::DataFlash, Region::Ldrom})
        chip.memory(region).resize(regionSize(part, region), chip.fill[i++]);
}

const PartRecord& partRow(std::uint32_t index) {
    static const PartRecord kEmpty{};
    return index < kCatalogueSize ? partTable()[index] : kEmpty;
}

void shapeChipForSetup(ProgrammerState& state) {
    shapeChip(state.chip, partRow(state.chip.partIndex.value_or(state.setup.partIndex)));
}

}  // namespace tarnel::sim

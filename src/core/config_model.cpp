#include "core/config_model.h"

#include <algorithm>
#include <cstdio>

namespace tarnel {

namespace {

constexpr std::uint8_t kSonraLdromBit = 0x04;  // CONFIG0 bit 2
constexpr std::uint8_t kKiteUFixedBit = 0x04;  // CONFIG0 bit 2
constexpr std::uint8_t kDataFlashDisabledBit = 0x01;

}  // namespace

std::string_view layoutName(ConfigLayout layout) {
    switch (layout) {
        case ConfigLayout::Kite:
            return "KiteLayout";
        case ConfigLayout::KiteU:
            return "KiteULayout";
        case ConfigLayout::Wren:
            return "WrenLayout";
        case ConfigLayout::TealA:
            return "TealALayout";
        case ConfigLayout::TealB:
            return "TealBLayout";
        case ConfigLayout::Sonra:
            return "SonraLayout";
        case ConfigLayout::Ferro:
            return "FerroLayout";
        case ConfigLayout::Pike:
            return "PikeLayout";
        case ConfigLayout::Tern:
            return "TernLayout";
        case ConfigLayout::BitTable:
            return "BitTableLayout";
        case ConfigLayout::None:
            return "none";
    }
    return "none";
}

ConfigLayout configLayoutOf(const PartRecord& part) {
    if (part.legacyConfig)
        return part.isPike ? ConfigLayout::Pike : ConfigLayout::Ferro;
    if (part.isSonra)
        return ConfigLayout::Sonra;
    if (part.isWren)
        return ConfigLayout::Wren;
    if (part.isTeal) {
        // The revision letter sits at position 10; shorter numbers (the Marl parts) carry none.
        if (part.partNumber.size() <= 10)
            return kMarlConfigLayout;
        switch (part.partNumber[10]) {
            case 'A':
                return ConfigLayout::TealA;
            case 'B':
                return ConfigLayout::TealB;
            default:
                return ConfigLayout::None;
        }
    }
    if (part.is32Bit) {
        return part.partNumber.starts_with("KiteU") ? ConfigLayout::KiteU : ConfigLayout::Kite;
    }
    if (part.isPike)
        return ConfigLayout::Pike;
    if (part.isTern)
        return ConfigLayout::Tern;
    return ConfigLayout::BitTable;
}

bool isWordLayout(ConfigLayout layout) {
    switch (layout) {
        case ConfigLayout::Kite:
        case ConfigLayout::KiteU:
        case ConfigLayout::Wren:
        case ConfigLayout::TealA:
        case ConfigLayout::TealB:
        case ConfigLayout::Sonra:
            return true;
        default:
            return false;
    }
}

std::uint32_t config0Word(const ConfigBytes& b) {
    return std::uint32_t{b[4]} << 24 | std::uint32_t{b[5]} << 16 | std::uint32_t{b[6]} << 8 | b[7];
}

std::uint32_t config1Word(const ConfigBytes& b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

void setConfig0Word(ConfigBytes& b, std::uint32_t v) {
    b[4] = static_cast<std::uint8_t>(v >> 24);
    b[5] = static_cast<std::uint8_t>(v >> 16);
    b[6] = static_cast<std::uint8_t>(v >> 8);
    b[7] = static_cast<std::uint8_t>(v);
}

void setConfig1Word(ConfigBytes& b, std::uint32_t v) {
    b[0] = static_cast<std::uint8_t>(v >> 24);
    b[1] = static_cast<std::uint8_t>(v >> 16);
    b[2] = static_cast<std::uint8_t>(v >> 8);
    b[3] = static_cast<std::uint8_t>(v);
}

std::uint8_t configByte(const ConfigBytes& b, int n) {
    return b[static_cast<std::size_t>(7 - n)];
}

void setConfigByte(ConfigBytes& b, int n, std::uint8_t v) {
    b[static_cast<std::size_t>(7 - n)] = v;
}

ConfigDefaults defaultConfig(const PartRecord& part, bool icpMode) {
    ConfigDefaults d;
    d.bytes.fill(0xFF);
    if (part.legacyConfig && part.isPike) {
        setConfigByte(d.bytes, 0, 0x7D);
        setConfigByte(d.bytes, 1, 0x3F);
        d.dataFlashPages = 1;
    } else if (part.legacyConfig) {
        setConfigByte(d.bytes, 0, 0x79);
        setConfigByte(d.bytes, 3, 0xFD);
        d.dataFlashPages = 1;
    } else if (part.isSonra) {
        setConfig1Word(d.bytes, 0x00024000);
        d.dataFlashPages = 1;
    } else if (part.isWren || part.isTeal) {
        setConfig1Word(d.bytes, part.dataFlashStart);
        d.dataFlashPages = 1;
    } else if (part.is32Bit) {
        setConfig0Word(d.bytes, 0xFF9FFFFF);
        if (part.dataFlashInAprom) {
            setConfig1Word(d.bytes, 0x0001FE00);
            d.dataFlashPages = 1;
        }
    } else if (part.isPike) {
        setConfigByte(d.bytes, 1, 0x3F);
        d.dataFlashPages = 1;
    } else if (icpMode) {
        setConfigByte(d.bytes, 0, 0xFD);
    }

    // Bit-table parts: bits labelled "Reserved(0)" must be written as 0.
    if (bitTableDecodingOf(part) != nullptr) {
        for (int word = 0; word < 2; ++word) {
            const auto& table = word == 0 ? config0Labels : config1Labels;
            const std::uint8_t layout = word == 0 ? part.config0Layout : part.config1Layout;
            if (layout >= table.size())
                continue;
            std::uint8_t value = configByte(d.bytes, word);
            for (int bit = 0; bit < 8; ++bit) {
                if (table[layout][static_cast<std::size_t>(bit)].name == "Reserved(0)") {
                    value = static_cast<std::uint8_t>(value & ~(1u << bit));
                }
            }
            setConfigByte(d.bytes, word, value);
        }
    }
    return d;
}

std::optional<DataFlashGeometry> dataFlashGeometry(ConfigLayout layout, const PartRecord& part,
                                                   const ConfigBytes& bytes) {
    DataFlashGeometry g;
    switch (layout) {
        case ConfigLayout::Kite:
            g = {512, 0x20000, 1, 255};
            return g;
        case ConfigLayout::KiteU:
            g.pageSize = 512;
            g.flashEnd = part.apromLastAddress + 0x1001;  // APROM size + 4 KB
            break;
        case ConfigLayout::Wren:
            // The Wren span ends at the APROM size: the default CONFIG1 (APROM size - 512,
            // one page), the largest DataFlash the catalogue allows and the read size all
            // agree on it, so a spin step from the default moves the base by one page.
            g.pageSize = 512;
            g.flashEnd = part.apromLastAddress + 1;
            break;
        case ConfigLayout::TealA:
        case ConfigLayout::TealB:
            g.pageSize = 512;
            g.flashEnd = part.apromLastAddress + 1;
            break;
        case ConfigLayout::Sonra:
            g.pageSize = 1024;
            g.flashEnd = (bytes[7] & kSonraLdromBit) ? 0x24400 : 0x23400;
            break;
        case ConfigLayout::Ferro:
            g = {256, 0x10000, 1, 255};
            return g;
        case ConfigLayout::Pike:
            g = {256, 0x4000, 1, 63};
            return g;
        default:
            return std::nullopt;
    }
    g.minPages = 1;
    g.maxPages = g.flashEnd / g.pageSize > 1 ? g.flashEnd / g.pageSize - 1 : 1;
    return g;
}

std::uint32_t writeDataFlashPages(ConfigLayout layout, const PartRecord& part, ConfigBytes& bytes,
                                  std::uint32_t pages) {
    const auto g = dataFlashGeometry(layout, part, bytes);
    if (!g)
        return pages;
    pages = std::clamp(pages, g->minPages, g->maxPages);
    if (isWordLayout(layout)) {
        setConfig1Word(bytes, g->flashEnd - pages * g->pageSize);
    } else {
        // 8051 layouts hold the start page in CONFIG1.
        setConfigByte(bytes, 1, static_cast<std::uint8_t>(g->flashEnd / 256 - pages));
    }
    return pages;
}

std::uint32_t dataFlashBaseFromConfig(ConfigLayout layout, const ConfigBytes& bytes) {
    if (isWordLayout(layout))
        return config1Word(bytes) & ~std::uint32_t{0xFF};
    return std::uint32_t{configByte(bytes, 1)} * 256;
}

std::uint32_t dataFlashPagesFromConfig(ConfigLayout layout, const PartRecord& part,
                                       const ConfigBytes& bytes) {
    const auto g = dataFlashGeometry(layout, part, bytes);
    if (!g)
        return 0;
    const std::uint32_t base = dataFlashBaseFromConfig(layout, bytes);
    return base < g->flashEnd ? (g->flashEnd - base) / g->pageSize : 0;
}

void setSonraLdrom(ConfigBytes& bytes, bool enabled) {
    const bool current = (bytes[7] & kSonraLdromBit) != 0;
    if (current == enabled)
        return;
    if (enabled) {
        bytes[7] |= kSonraLdromBit;
        setConfig1Word(bytes, config1Word(bytes) + 0x1000);
    } else {
        bytes[7] &= static_cast<std::uint8_t>(~kSonraLdromBit);
        setConfig1Word(bytes, config1Word(bytes) - 0x1000);
    }
}

void setKiteUFixedSize(ConfigBytes& bytes) {
    bytes[7] |= kKiteUFixedBit;
    setConfig1Word(bytes, kKiteUFixedBase);
}

void setKiteUVariableSize(const PartRecord& part, ConfigBytes& bytes, std::uint32_t pages) {
    bytes[7] &= static_cast<std::uint8_t>(~kKiteUFixedBit);
    writeDataFlashPages(ConfigLayout::KiteU, part, bytes, pages);
}

void setKiteUDataFlashEnabled(ConfigBytes& bytes, bool enabled) {
    if (enabled) {
        bytes[7] &= static_cast<std::uint8_t>(~kDataFlashDisabledBit);
        setConfig1Word(bytes, kKiteUFixedBase);
    } else {
        bytes[7] |= kDataFlashDisabledBit;
        setKiteUFixedSize(bytes);
    }
}

namespace {

bool hasNvmLockAtBit6(const PartRecord& part) {
    return part.config1Layout < config1Labels.size() &&
           config1Labels[part.config1Layout][6].name == "NVM Lock";
}

}  // namespace

bool writeAPromLock(const PartRecord& part, ConfigBytes& bytes, bool disabled) {
    std::uint8_t c1 = configByte(bytes, 1);
    if (disabled) {
        c1 |= 0x80;
        if (hasNvmLockAtBit6(part))
            c1 |= 0x40;
    } else {
        c1 &= 0x7F;
    }
    setConfigByte(bytes, 1, c1);
    return nvmLockChangeable(part, bytes);
}

bool nvmLockChangeable(const PartRecord& part, const ConfigBytes& bytes) {
    return hasNvmLockAtBit6(part) && (configByte(bytes, 1) & 0x80) == 0;
}

const BitTableDecoding* bitTableDecodingOf(const PartRecord& part) {
    for (const BitTableDecoding& d : bitTableDecodings()) {
        if (d.config0Layout == part.config0Layout && d.config1Layout == part.config1Layout)
            return &d;
    }
    return nullptr;
}

namespace {

std::string_view fieldText(const ConfigTextField& field, std::uint8_t config0,
                           std::uint8_t config1) {
    const unsigned value = (field.word == 0 ? config0 : config1) >> field.shift;
    return field.texts[value & (field.count == 4 ? 0x03u : 0x01u)];
}

// A part without a bit table reads the brown-out voltage as BOV at CONFIG0 bit 4.
constexpr ConfigTextField kPlainBrownOut{0, 4, 2, {"3.8V", "2.5V"}};

}  // namespace

ConfigDescription describeConfig(std::uint8_t config0, std::uint8_t config1,
                                 const PartRecord& part) {
    ConfigDescription d;
    const BitTableDecoding* decoding = bitTableDecodingOf(part);
    const unsigned fosc = config0 & 0x03u;
    d.clockSource = std::string(part.clockSourceText[fosc]);
    if (fosc == 1 && decoding != nullptr && decoding->internalOsc.count != 0)
        d.clockSource = fieldText(decoding->internalOsc, config0, config1);
    d.brownOutVoltage =
        fieldText(decoding != nullptr ? decoding->brownOut : kPlainBrownOut, config0, config1);

    char text[8];
    if (part.algoParamC >= 1) {
        std::snprintf(text, sizeof text, "0x%02X", config0);
        d.config0Text = text;
    }
    if (part.algoParamC >= 2) {
        std::snprintf(text, sizeof text, "0x%02X", config1);
        d.config1Text = text;
    }
    return d;
}

}  // namespace tarnel

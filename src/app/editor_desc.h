#pragma once
// The CONFIG editor of each layout as a description: its sections (group boxes), the radios
// in them, the bits each radio writes and reads, the rules that enable one section from
// another, and the DataFlash panel. The editor model works from these alone.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/config_model.h"

namespace tarnel {

// A value for some bits of stream byte `streamByte` (configBytes[7 - streamByte]).
struct BitValue {
    std::uint8_t streamByte = 0;
    std::uint8_t mask = 0;
    std::uint8_t value = 0;
};

enum class SectionRole { Plain, DataFlash, SizeMode, Ldrom };

struct RadioDesc {
    std::string caption;
    std::vector<BitValue> writes;
    // Selected when every value matches. Without match values the radio is the section's
    // fallback: selected when no other radio of the section matches.
    std::vector<BitValue> match;
    bool fallback = false;
};

struct SectionDesc {
    std::string title;
    std::vector<RadioDesc> radios;
    SectionRole role = SectionRole::Plain;
    int enabledBy = -1;  // section whose radio enabledByRadio must be selected
    int enabledByRadio = 0;
    bool enablingAtOpeningOnly = false;
};

struct DataFlashPanelDesc {
    std::uint32_t pageSize = 0;
    std::uint32_t flashEnd = 0;
    std::uint32_t minPages = 1;
    std::uint32_t maxPages = 0;
    bool wordLayout = true;  // CONFIG1 holds the base (32-bit) or the start page (8051)
};

struct EditorDesc {
    std::string title;
    ConfigLayout layout = ConfigLayout::None;
    std::vector<SectionDesc> sections;
    std::optional<DataFlashPanelDesc> dataFlash;
};

// The editor description of a layout for a part (exposed for the command line's decoding).
EditorDesc describeEditor(ConfigLayout layout, const PartRecord& part, const ConfigBytes& bytes,
                          bool readOnly);

}  // namespace tarnel

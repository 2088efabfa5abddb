#pragma once
// The CONFIG editor sections of the 32-bit (word) layouts, compiled from
// data/config_editors.csv: one row per radio, in section order. The build checks that every
// word layout is described, sections are numbered in order and agree on their title, role and
// enabling section, and every bit value fits its field.

#include <cstdint>
#include <span>
#include <string_view>

#include "core/config_model.h"

namespace tarnel {

// Bits bitLow..bitLow+width-1 of the CONFIG0 word holding `value`.
struct WordBits {
    std::uint8_t bitLow = 0;
    std::uint8_t width = 0;  // 0: no bits (a fallback radio's match)
    std::uint8_t value = 0;
};

struct WordEditorRow {
    ConfigLayout layout = ConfigLayout::None;
    std::uint8_t section = 0;
    std::string_view title;
    std::string_view role;       // "Plain", "DataFlash", "SizeMode" or "Ldrom"
    std::int8_t enabledBy = -1;  // section that must have its first radio selected; -1: none
    bool partLevels = false;     // captions give way to the part's brown-out levels
    std::string_view caption;
    WordBits writes;
    WordBits match;  // selected when these bits hold; width 0: selected when no other radio is
};

std::span<const WordEditorRow> wordEditorRows();

}  // namespace tarnel

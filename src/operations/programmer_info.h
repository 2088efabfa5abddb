#pragma once
// Programmer Information: asks a programmer (or socket #1's unit of a gang programmer) what
// setup it stores and shows it as a text in the "Programmer Information" box, followed by
// the stored CONFIG words in the stored part's CONFIG view. Changes nothing in the
// programmer. The reply's layout follows the programmer's firmware version; firmware older
// than 0x0490 answers in an older, shorter form with a text of its own.

#include <array>
#include <cstdint>
#include <string>

#include "core/programming_job.h"
#include "core/read_back.h"
#include "link/programmer_session.h"

namespace tarnel {

// What a programmer reports of its stored setup (0xC6 reply).
struct StoredInformation {
    std::uint32_t reportedIndex = 0;  // the part index as the programmer sent it
    std::uint32_t partIndex = 0;      // after the part number lookup
    std::string partNumberText;       // empty when the reply carries none
    std::string apromName, dataFlashName, ldromName;
    std::array<std::uint8_t, 3> apromLast{};  // bits 23..16 first
    std::array<std::uint8_t, 2> apromSum{};   // in arrival order
    std::array<std::uint8_t, 3> dataFlashLast{};
    std::array<std::uint8_t, 2> dataFlashSum{};
    std::array<std::uint8_t, 2> ldromLast{};  // bits 15..8 first
    std::array<std::uint8_t, 2> ldromSum{};
    std::array<std::uint8_t, 8> config{};  // c0..c7 as sent
    std::uint8_t storedFlags = 0;
    std::uint8_t usageHigh = 0xFF;  // 0xFF, 0xFF: no limit
    std::uint8_t usageLow = 0xFF;
    bool gangVerifyOnly = false;
    bool serialEnabled = false;
    std::uint32_t serialAddress = 0;
    std::uint32_t serialHigh = 0, serialLow = 0;
    std::uint32_t incrementHigh = 0, incrementLow = 0;
};

// The command, on the calling thread to its end. True when the text was shown.
bool programmerInformation(ProgrammerSession& session, ReadBackState& readBack);

// The texts of the current and of the older reply.
std::string informationText(const StoredInformation& info, const ChipCatalogue& catalogue,
                            bool gangMode);
std::string oldFormatInformationText(const StoredInformation& info, const ChipCatalogue& catalogue,
                                     bool gangMode);

}  // namespace tarnel

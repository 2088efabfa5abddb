#include "link/programmer_kind.h"

#include "core/chip_catalogue.h"

namespace tarnel {

using enum FirmwareVariant;
using Line = ProgrammerLine;
using Cat = PartCategory;

const std::array<ProgrammerKindRow, 16> kProgrammerKinds = {{
    {0xA5, ISP_only, "ISP_only", Line::IspOnly, Cat::Isp, "v0619_MainMCU_ISP_only.DAT"},
    {0xAA, ISP, "ISP", Line::General, Cat::Isp, "v0619_MainMCU_ISP.DAT"},
    {0xAB, ICP, "ICP", Line::General, Cat::Plain, "v0619_MainMCU_ICP.DAT"},
    {0xA4, ICP_QB7710, "ICP", Line::General, Cat::QB7710, "v0619_MainMCU_ICP_QB7710.DAT"},
    {0xB2, ICP_QC7712, "ICP", Line::General, Cat::QC7712, "v0619_MainMCU_ICP_QC7712.DAT"},
    {0xAD, ICP_Vexa, "ICP_Vexa", Line::General, Cat::Vexa, "v0619_MainMCU_ICP_Vexa.DAT"},
    {0xA6, ICP_only, "ICP_only", Line::IcpOnly, Cat::Plain, "v0619_MainMCU_ICP_only.DAT"},
    {0xA3, ICP_only_QB7710, "ICP_only", Line::IcpOnly, Cat::QB7710,
     "v0619_MainMCU_ICP_only_QB7710.DAT"},
    {0xB0, ICP_only_QC7712, "ICP_only", Line::IcpOnly, Cat::QC7712,
     "v0619_MainMCU_ICP_only_QC7712.DAT"},
    {0xAE, ICP_Halvorn, "ICP_Halvorn", Line::Halvorn, Cat::Plain, "v0619_MainMCU_ICP_Halvorn.DAT"},
    {0xA2, ICP_Halvorn_QB7710, "ICP_Halvorn", Line::Halvorn, Cat::QB7710,
     "v0619_MainMCU_ICP_Halvorn_QB7710.DAT"},
    {0xB1, ICP_Halvorn_QC7712, "ICP_Halvorn", Line::Halvorn, Cat::QC7712,
     "v0619_MainMCU_ICP_Halvorn_QC7712.DAT"},
    {0xB3, ICP_Halvorn2, "ICP_Halvorn2", Line::Halvorn2, Cat::Plain,
     "v0619_MainMCU_ICP_Halvorn2.DAT"},
    {0xB4, ICP_Halvorn2_QB7710, "ICP_Halvorn2", Line::Halvorn2, Cat::QB7710,
     "v0619_MainMCU_ICP_Halvorn2_QB7710.DAT"},
    {0xB5, ICP_Halvorn2_QC7712, "ICP_Halvorn2", Line::Halvorn2, Cat::QC7712,
     "v0619_MainMCU_ICP_Halvorn2_QC7712.DAT"},
    {kGangProgrammerKind, None, "", Line::Gang, Cat::Plain, kGangFirmwareFile},
}};

namespace {

constexpr std::string_view kRefuseIsp = "This programmer cannot support ISP device !";
constexpr std::string_view kRefuseIcp = "This programmer cannot support ICP device !";
constexpr std::string_view kRefuseTQ17A = "This programmer cannot support TQ17A !";
constexpr std::string_view kRefuseVexa = "This programmer cannot support Vexa device !";

// The row of a line that serves a category, or null when the line has none.
const ProgrammerKindRow* rowOfLine(ProgrammerLine line, PartCategory category) {
    for (const auto& row : kProgrammerKinds) {
        if (row.line == line && row.serves == category && row.variant != None)
            return &row;
    }
    return nullptr;
}

}  // namespace

const ProgrammerKindRow* rowOfKind(std::uint8_t kind) {
    for (const auto& row : kProgrammerKinds) {
        if (row.kind == kind)
            return &row;
    }
    return nullptr;
}

const ProgrammerKindRow* rowOfVariant(FirmwareVariant variant) {
    if (variant == None)
        return nullptr;
    for (const auto& row : kProgrammerKinds) {
        if (row.variant == variant)
            return &row;
    }
    return nullptr;
}

std::string_view variantName(FirmwareVariant variant) {
    const ProgrammerKindRow* row = rowOfVariant(variant);
    if (row == nullptr)
        return {};
    // The variant's name is its file stem: the file name between "v0619_MainMCU_" and ".DAT".
    constexpr std::string_view prefix = "v0619_MainMCU_";
    constexpr std::string_view suffix = ".DAT";
    std::string_view stem = row->firmwareFile;
    stem.remove_prefix(prefix.size());
    stem.remove_suffix(suffix.size());
    return stem;
}

std::optional<FirmwareVariant> variantOfName(std::string_view name) {
    for (const auto& row : kProgrammerKinds) {
        if (row.variant != None && variantName(row.variant) == name)
            return row.variant;
    }
    return std::nullopt;
}

PartCategory categoryOfPart(std::uint32_t partIndex, const PartRecord& part) {
    if (!isIcpRow(partIndex))
        return Cat::Isp;
    if (groupOf(partIndex) != FamilyGroup::Family8051)
        return Cat::Vexa;
    if (part.isTQ17A)
        return Cat::TQ17A;
    if (part.isPike)
        return Cat::QB7710;
    if (part.isTern)
        return Cat::QC7712;
    return Cat::Plain;
}

VariantDecision checkVariant(FirmwareVariant current, PartCategory needed) {
    using Action = VariantDecision::Action;
    const ProgrammerKindRow* row = rowOfVariant(current);
    if (row == nullptr)
        return {Action::Refuse, None, kRefuseIcp};
    const ProgrammerLine line = row->line;

    if (line == Line::IspOnly) {
        if (needed == Cat::Isp)
            return {Action::Keep, current, {}};
        return {Action::Refuse, None, kRefuseIcp};
    }
    const ProgrammerKindRow* target = nullptr;
    switch (needed) {
        case Cat::Isp:
            target = rowOfLine(line, Cat::Isp);
            if (target == nullptr)
                return {Action::Refuse, None, kRefuseIsp};
            break;
        case Cat::Vexa:
            target = rowOfLine(line, Cat::Vexa);
            if (target == nullptr)
                return {Action::Refuse, None, kRefuseVexa};
            break;
        case Cat::TQ17A:
            // Only the Halvorn lines serve the TQ17A, with their plain variant.
            if (line != Line::Halvorn && line != Line::Halvorn2)
                return {Action::Refuse, None, kRefuseTQ17A};
            target = rowOfLine(line, Cat::Plain);
            break;
        case Cat::Plain:
        case Cat::QB7710:
        case Cat::QC7712:
            target = rowOfLine(line, needed);
            break;
    }
    if (target == nullptr)
        return {Action::Refuse, None, kRefuseIcp};
    if (target->variant == current)
        return {Action::Keep, current, {}};
    return {Action::Target, target->variant, {}};
}

}  // namespace tarnel

#pragma once
// What a programmer is: the identity byte it answers to the identify command, the firmware
// variant that byte means, the variant's label and firmware file, and the line of hardware
// it belongs to. Also which variant a part needs (the variant check).

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/part_record.h"

namespace tarnel {

// The fifteen firmware variants of a single programmer; None when no variant is current.
enum class FirmwareVariant : std::uint8_t {
    None,
    ISP_only,
    ISP,
    ICP,
    ICP_QB7710,
    ICP_QC7712,
    ICP_Vexa,
    ICP_only,
    ICP_only_QB7710,
    ICP_only_QC7712,
    ICP_Halvorn,
    ICP_Halvorn_QB7710,
    ICP_Halvorn_QC7712,
    ICP_Halvorn2,
    ICP_Halvorn2_QB7710,
    ICP_Halvorn2_QC7712,
};

// A family of programmer hardware; the system switches variants only within one line.
enum class ProgrammerLine : std::uint8_t { IspOnly, General, IcpOnly, Halvorn, Halvorn2, Gang };

// What a variant serves, and what a part needs.
enum class PartCategory : std::uint8_t { Isp, Plain, QB7710, QC7712, TQ17A, Vexa };

struct ProgrammerKindRow {
    std::uint8_t kind;        // identity byte
    FirmwareVariant variant;  // None for the gang programmer
    std::string_view label;   // "Prog. Type" label
    ProgrammerLine line;
    PartCategory serves;
    std::string_view firmwareFile;
};

inline constexpr std::uint8_t kGangProgrammerKind = 0xAF;
inline constexpr std::uint8_t kSingleAck = 0xA5;
inline constexpr std::uint8_t kGangAck = 0xAF;

// The sixteen rows: fifteen variants and the gang programmer (last).
extern const std::array<ProgrammerKindRow, 16> kProgrammerKinds;

inline constexpr std::string_view kGangFirmwareFile = "v0619_GangMCU.DAT";
// The firmware version whose files the program carries.
inline constexpr std::uint16_t kCarriedFirmwareVersion = 0x0619;

const ProgrammerKindRow* rowOfKind(std::uint8_t kind);
const ProgrammerKindRow* rowOfVariant(FirmwareVariant variant);
std::string_view variantName(FirmwareVariant variant);  // "ICP_Halvorn", "" for None
std::optional<FirmwareVariant> variantOfName(std::string_view name);

// What a part at this catalogue index needs: ISP parts in the legacy rows, 8051 family parts
// by their flags (TQ17A, then Pike, then Tern), parts of the 32-bit blocks after them.
PartCategory categoryOfPart(std::uint32_t partIndex, const PartRecord& part);

// Outcome of the variant check for a programmer's current variant and a part.
struct VariantDecision {
    enum class Action { Keep, Target, Refuse } action;
    FirmwareVariant target = FirmwareVariant::None;  // the variant to be current afterwards
    std::string_view refusal;                        // message when refused
};

VariantDecision checkVariant(FirmwareVariant current, PartCategory needed);

}  // namespace tarnel

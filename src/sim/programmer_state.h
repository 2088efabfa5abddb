#pragma once
// What a simulated programmer holds: the setup stored by a download (the storage record as it
// arrived, decoded, with the three images), the S/N settings, and the chip in its socket.
//
// The chip keeps its DataFlash apart from its APROM even for parts whose DataFlash is carved
// out of APROM: what the programmer writes as DataFlash is read back as DataFlash.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/image_buffer.h"
#include "core/part_record.h"

namespace tarnel::sim {

// Record fields 1..52 are single bytes; field 53 is the part number, 54..56 the file names.
inline constexpr std::size_t kRecordByteFields = 52;
inline constexpr std::size_t kPartNumberField = 16;
inline constexpr std::size_t kFileNameField = 64;
// The stored-setup report as a programmer of firmware 0x0501 or newer sends it: status byte,
// two-byte part index and the fields after it.
inline constexpr std::size_t kStoredSetupReportSize = 230;

// The usage count of a setup stored without a limit.
inline constexpr std::uint16_t kNoUsageLimit = 0xFFFF;

// A verdict byte the programmer sends in place of a good one when it refuses to program
// because its usage count is used up.
inline constexpr std::uint8_t kUsageExhaustedCode = 0xEE;

enum class Region { Aprom, DataFlash, Ldrom };

struct StoredImage {
    std::vector<std::uint8_t> data;  // the bytes received (empty when the region is not stored)
    std::uint32_t lastAddress = 0;   // as the record announced it (LDROM: 16 bits)
    std::uint32_t checksum = 0;      // as the record announced it (LDROM: 24 bits)
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::string name;  // the file name up to its NUL
};

// The S/N settings of a 0xD2 exchange. The S/N and increment are kept as sent: packed BCD,
// most significant digit pair first.
struct SerialSettings {
    std::uint32_t address = 0;
    std::array<std::uint8_t, 8> serial{};
    std::array<std::uint8_t, 8> increment{};
};

// Adds the increment to the S/N, both packed BCD most significant first, modulo 10^16.
std::array<std::uint8_t, 8> addBcd(const std::array<std::uint8_t, 8>& serial,
                                   const std::array<std::uint8_t, 8>& increment);

struct StoredSetup {
    bool present = false;  // a download completed: every stored region verified
    std::array<std::uint8_t, kRecordByteFields> record{};  // fields 1..52 as received
    std::uint16_t partIndex = 0;
    std::uint8_t legacyChipCode = 0;
    std::array<std::uint8_t, 8> configBytes{};  // as the host's configBytes (field 29 is [7])
    std::uint8_t flags = 0;
    std::uint16_t deviceId = 0;
    std::uint16_t usageLeft = kNoUsageLimit;  // counts down per chip programmed
    std::array<std::uint8_t, 2> dataFlashBase{};
    std::uint8_t algoFlag = 0;
    bool gangVerifyOnly = false;  // field 51 0xFF
    std::string partNumber;       // field 53 up to its NUL
    StoredImage aprom;
    StoredImage dataFlash;
    StoredImage ldrom;
    // The S/N settings in force when the setup was stored (reported by Programmer
    // Information); the programmer advances the S/N as it writes it.
    std::optional<SerialSettings> serial;

    bool updates(Region region) const;
    bool updatesConfig() const { return (flags & 0x01) != 0; }
    bool icp() const { return (flags & 0x80) != 0; }
    bool separateApromErase() const { return (flags & 0x40) != 0; }
    StoredImage& image(Region region);
    const StoredImage& image(Region region) const;
};

// A chip in a socket.
struct SimChip {
    bool present = true;
    // The catalogue row the chip really is; none: whatever part the programmer stores.
    std::optional<std::uint32_t> partIndex;
    bool wrongDeviceId = false;  // its device id matches no stored part
    bool locked = false;
    std::vector<std::uint8_t> aprom;
    std::vector<std::uint8_t> dataFlash;
    std::vector<std::uint8_t> ldrom;
    std::array<std::uint8_t, 8> config{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::array<std::uint8_t, 5> trim{0x11, 0x22, 0x33, 0x44, 0x55};
    // What new bytes of APROM, DataFlash and LDROM hold when the memories are sized.
    std::array<std::uint8_t, 3> fill{0xFF, 0xFF, 0xFF};

    std::vector<std::uint8_t>& memory(Region region);
    const std::vector<std::uint8_t>& memory(Region region) const;
    // True when the programmer sees a chip of the stored part: present, of that part (or of
    // no part given) and with the right device id.
    bool matches(std::uint32_t storedPartIndex) const;
};

// The region sizes of a part. The DataFlash size of a part whose DataFlash lies in APROM is
// the largest the part allows.
std::size_t regionSize(const PartRecord& part, Region region);
// Sizes the chip's memories for the part, keeping what they hold and filling new bytes with
// the chip's fill bytes.
void shapeChip(SimChip& chip, const PartRecord& part);

// Everything a single programmer (or one gang unit) holds.
struct ProgrammerState {
    StoredSetup setup;
    // S/N settings received with 0xD2 since the last update run; used by the next run and
    // stored with the next download.
    std::optional<SerialSettings> pendingSerial;
    SimChip chip;
    int chipsProgrammed = 0;  // programming runs that ended well
};

// The catalogue row at index; an empty row outside the table.
const PartRecord& partRow(std::uint32_t index);

// Sizes the chip for the part it is, or, when the scenario gave none, for the stored part:
// every command that touches the chip calls it first.
void shapeChipForSetup(ProgrammerState& state);

}  // namespace tarnel::sim

// A programmer's commands that look at the chip or report the stored setup: verify (0xC7),
// read (0xC9), programmer information (0xC6, in the reply format of the firmware version),
// chip check (0xD0), and the gang programmer's information request (0xCB).
//
// The chip answers from its memories as they are; bytes past the end of a memory read 0xFF.
// A locked chip hides APROM, DataFlash and CONFIG behind 0xFF; a chip that does not match the
// requested part reports a device id error.

#include <algorithm>

#include "core/chip_catalogue.h"
#include "link/programmer_kind.h"
#include "link/programmer_session.h"
#include "sim/sim_programmer.h"

namespace tarnel::sim {

namespace {

constexpr std::uint8_t kChipNormal = 0;
constexpr std::uint8_t kChipLocked = 1;
constexpr std::uint8_t kChipWrongId = 2;
constexpr std::uint8_t kReadRegion = 0xFF;
constexpr std::uint8_t kSkipRegion = 0x00;
constexpr std::uint8_t kNotStored = 0xFF;
// Firmware versions from which the reply carries more.
constexpr std::uint16_t kCurrentReplyFrom = 0x0490;
constexpr std::uint16_t kWideIndexFrom = 0x0501;
constexpr std::uint16_t kPartNumberFrom = 0x0505;
constexpr std::uint16_t kUsageFrom = 0x0524;
constexpr std::uint16_t kGangModeFrom = 0x0601;
constexpr std::uint16_t kSerialFrom = 0x0614;
constexpr std::uint16_t kGangStoredByteFrom = 0x0119;
// An ISP verify whose announced last address is 0 may have no page at all: the programmer
// listens this long for one.
constexpr std::uint32_t kEmptyImageListenMs = 50;

std::uint32_t bigEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

bool isIspProgrammer(const SimProgrammer& programmer) {
    const ProgrammerKindRow* row = rowOfKind(programmer.kind());
    return row != nullptr && row->serves == PartCategory::Isp;
}

// The chip as the programmer sees it for a request of the given part: sized for the part it
// is (or for the requested one when the scenario names none), and its status.
struct ChipView {
    SimChip chip;
    std::uint8_t status = kChipNormal;
};

ChipView viewChip(SimProgrammer& programmer, std::uint32_t requestedIndex) {
    return programmer.withState([requestedIndex](ProgrammerState& state) {
        ChipView view;
        shapeChip(state.chip, partRow(state.chip.partIndex.value_or(requestedIndex)));
        view.chip = state.chip;
        if (!view.chip.matches(requestedIndex))
            view.status = kChipWrongId;
        else if (view.chip.locked)
            view.status = kChipLocked;
        return view;
    });
}

// `count` bytes of a memory from offset, 0xFF past its end (or everywhere when hidden).
std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& memory, std::size_t offset,
                                std::size_t count, bool hidden) {
    std::vector<std::uint8_t> bytes(count, 0xFF);
    if (hidden || offset >= memory.size())
        return bytes;
    const std::size_t available = std::min(count, memory.size() - offset);
    std::copy_n(memory.begin() + static_cast<std::ptrdiff_t>(offset), available, bytes.begin());
    return bytes;
}

// CONFIG bytes as the chip sends them: CONFIG0 bits 7..0 first.
std::array<std::uint8_t, 8> configStream(const SimChip& chip, bool hidden) {
    std::array<std::uint8_t, 8> stream{};
    for (std::size_t k = 0; k < 8; ++k)
        stream[k] = hidden ? 0xFF : chip.config[7 - k];
    return stream;
}

bool sendBlocks(DeviceLine& line, const std::vector<std::uint8_t>& memory, std::size_t blocks,
                std::size_t size, bool hidden) {
    for (std::size_t block = 0; block < blocks; ++block) {
        const auto bytes = slice(memory, block * size, size, hidden);
        if (!line.replyBlock(bytes.data(), bytes.size()))
            return false;
    }
    return true;
}

// The choice byte before a region: true to send it.
bool readChoice(DeviceLine& line, bool& send) {
    std::uint8_t choice = 0;
    if (!line.read(choice))
        return false;
    if (choice != kReadRegion && choice != kSkipRegion) {
        line.recordError("expected 0xFF or 0x00 before a region, got " + std::to_string(choice));
        return false;
    }
    send = choice == kReadRegion;
    return true;
}

// Blocks of a last address sent as 24 bits: FF FF FF reads nothing.
std::size_t blocksOf(std::uint32_t last, std::size_t size) {
    return ((last + 1) & 0xFFFFFF) / size;
}

// The ICP read after the command's acknowledge (0xC9, and 0xC7 in its verifying form).
void icpRead(SimProgrammer& programmer) {
    DeviceLine& line = programmer.line();
    std::uint8_t request[7] = {};
    if (!line.readBlock(request, sizeof request))
        return;
    const std::uint32_t index = request[0] | request[1] << 8;
    const PartRecord& part = partRow(index);
    const ChipView view = viewChip(programmer, index);
    const bool locked = view.status == kChipLocked;
    if (part.is32Bit || part.isPike) {
        const auto stream = configStream(view.chip, locked);
        if (!line.replyBlock(stream.data(), stream.size()))
            return;
    }
    std::uint8_t plan[10] = {};
    if (!line.readBlock(plan, sizeof plan))
        return;
    if (!line.reply(view.status) || !line.expect(0x00, "answer to the chip status"))
        return;
    if (view.status == kChipWrongId || (locked && (part.is32Bit || part.isPike)))
        return;

    if (!sendBlocks(line, view.chip.aprom, blocksOf(bigEndian(plan, 3), 256), 256, locked))
        return;
    bool send = false;
    if (!readChoice(line, send))
        return;
    if (send &&
        !sendBlocks(line, view.chip.dataFlash, blocksOf(bigEndian(plan + 3, 3), 128), 128, locked))
        return;
    if (!readChoice(line, send))
        return;
    if (send &&
        !sendBlocks(line, view.chip.ldrom, blocksOf(bigEndian(plan + 6, 2), 256), 256, false))
        return;
    const auto stream = configStream(view.chip, locked);
    line.replyBlock(stream.data(), stream.size());
}

// 0xC9 -> 0xA5; ISP: part index, chip code -> the eight CONFIG bytes; ICP: the whole read.
void read(SimProgrammer& programmer) {
    DeviceLine& line = programmer.line();
    if (!line.reply(kSingleAck))
        return;
    if (!isIspProgrammer(programmer)) {
        icpRead(programmer);
        return;
    }
    std::uint8_t request[2] = {};
    if (!line.readBlock(request, sizeof request))
        return;
    const ChipView view = viewChip(programmer, request[0]);
    const auto stream = configStream(view.chip, view.status != kChipNormal);
    line.replyBlock(stream.data(), stream.size());
}

// 0xC7 -> 0xA5; ISP: the request, 0xA5, then per page of APROM 0 (same) or 1; ICP: the read.
void verify(SimProgrammer& programmer) {
    DeviceLine& line = programmer.line();
    if (!line.reply(kSingleAck))
        return;
    if (!isIspProgrammer(programmer)) {
        icpRead(programmer);
        return;
    }
    std::uint8_t request[6] = {};
    if (!line.readBlock(request, sizeof request))
        return;
    const std::uint32_t last = bigEndian(request + 2, 3);
    const ChipView view = viewChip(programmer, request[0]);
    const bool hidden = view.status != kChipNormal;
    if (!line.reply(kSingleAck))
        return;
    // Compares one page with the chip and answers; true when they are the same.
    auto answer = [&](const std::uint8_t* page, std::size_t offset, std::size_t count) {
        const auto chip = slice(view.chip.aprom, offset, count, hidden);
        const bool same = std::equal(page, page + count, chip.begin());
        return line.reply(same ? 0x00 : 0x01) && same;
    };
    if (last == 0) {
        if (const auto only = line.poll(kEmptyImageListenMs))
            answer(&*only, 0, 1);
        return;
    }
    std::vector<std::uint8_t> page(256);
    for (std::size_t offset = 0; offset <= last; offset += 256) {
        const std::size_t count = std::min<std::size_t>(256, std::size_t{last} + 1 - offset);
        if (!line.readBlock(page.data(), count) || !answer(page.data(), offset, count))
            return;
    }
}

// 0xD0 -> 0xA5; the seven request bytes -> status; 0x00 from the host after 0, 1 or 2;
// the five trim bytes after 0.
void chipCheck(SimProgrammer& programmer) {
    DeviceLine& line = programmer.line();
    if (!line.reply(kSingleAck))
        return;
    std::uint8_t request[7] = {};
    if (!line.readBlock(request, sizeof request))
        return;
    const ChipView view = viewChip(programmer, request[0] | request[1] << 8);
    if (!line.reply(view.status) || !line.expect(0x00, "answer to the chip status"))
        return;
    if (view.status == kChipNormal)
        line.replyBlock(view.chip.trim.data(), view.chip.trim.size());
}

void appendText(std::vector<std::uint8_t>& reply, const std::string& text, std::size_t width) {
    std::vector<std::uint8_t> field(width, 0);
    std::copy_n(text.begin(), std::min(text.size(), width - 1), field.begin());
    reply.insert(reply.end(), field.begin(), field.end());
}

void appendBigEndian(std::vector<std::uint8_t>& reply, std::uint32_t value, int count) {
    for (int shift = 8 * (count - 1); shift >= 0; shift -= 8)
        reply.push_back(static_cast<std::uint8_t>(value >> shift));
}

// The stored setup in the reply format of the firmware version, after the status byte 0.
std::vector<std::uint8_t> informationReply(const StoredSetup& setup, std::uint16_t version) {
    std::vector<std::uint8_t> reply;
    const bool oldFormat = version < kCurrentReplyFrom;
    const PartRecord& part = partRow(setup.partIndex);
    const bool wideIndex = !oldFormat && version >= kWideIndexFrom;
    appendBigEndian(reply, setup.partIndex & 0xFF, 1);
    if (wideIndex)
        appendBigEndian(reply, setup.partIndex >> 8, 1);
    if (!oldFormat && version >= kPartNumberFrom)
        appendText(reply, setup.partNumber, 16);
    // Checksums are reported as their low 16 bits, high byte first.
    appendText(reply, setup.aprom.name, oldFormat ? 128 : 64);
    appendBigEndian(reply, setup.aprom.lastAddress, 3);
    appendBigEndian(reply, setup.aprom.checksum & 0xFFFF, 2);
    if (oldFormat && !isIcpRow(setup.partIndex) && !part.legacyConfig)
        return reply;
    appendText(reply, setup.dataFlash.name, 64);
    appendBigEndian(reply, setup.dataFlash.lastAddress, oldFormat ? 2 : 3);
    appendBigEndian(reply, setup.dataFlash.checksum & 0xFFFF, 2);
    if (!oldFormat) {
        appendText(reply, setup.ldrom.name, 64);
        appendBigEndian(reply, setup.ldrom.lastAddress, 2);
        appendBigEndian(reply, setup.ldrom.checksum & 0xFFFF, 2);
    }
    for (std::size_t k = 0; k < 8; ++k)
        reply.push_back(setup.configBytes[7 - k]);
    reply.push_back(setup.flags);
    if (oldFormat)
        return reply;
    if (version >= kUsageFrom)
        appendBigEndian(reply, setup.usageLeft, 2);
    if (version >= kGangModeFrom)
        reply.push_back(setup.gangVerifyOnly ? 0xFF : 0x00);
    if (version >= kSerialFrom) {
        const SerialSettings serial = setup.serial.value_or(SerialSettings{});
        reply.push_back(setup.serial ? 0x00 : 0xFF);
        appendBigEndian(reply, serial.address, 3);
        reply.insert(reply.end(), serial.serial.begin(), serial.serial.end());
        reply.insert(reply.end(), serial.increment.begin(), serial.increment.end());
    }
    return reply;
}

// 0xC6 -> 0xA5, status (0: a setup is stored), then the stored setup.
void information(SimProgrammer& programmer) {
    DeviceLine& line = programmer.line();
    const StoredSetup setup = programmer.state().setup;
    if (!line.reply(kSingleAck) || !line.reply(setup.present ? 0x00 : 0x01) || !setup.present)
        return;
    const auto reply = informationReply(setup, programmer.firmwareVersion());
    line.replyBlock(reply.data(), reply.size());
}

// 0xCB -> 0xAF, the stored-data byte (from 0x0119 on), the sync byte 0x01; the line then
// reaches socket #1's unit.
void gangInformation(SimGangProgrammer& gang) {
    DeviceLine& line = gang.line();
    if (!line.reply(kGangAck))
        return;
    if (gang.firmwareVersion() >= kGangStoredByteFrom) {
        const bool stored = gang.gangState().stored;
        if (!line.reply(stored ? 0x00 : kNotStored) || !stored)
            return;
    }
    if (line.reply(0x01))
        gang.relayToUnit(1);
}

}  // namespace

void registerReadCommands(SimProgrammer& programmer) {
    programmer.onCommand(command::kVerifyChips, [&programmer] { verify(programmer); });
    programmer.onCommand(command::kReadChip, [&programmer] { read(programmer); });
    programmer.onCommand(command::kProgrammerInformation,
                         [&programmer] { information(programmer); });
    programmer.onCommand(command::kChipCheck, [&programmer] { chipCheck(programmer); });
}

void registerReadCommands(SimGangProgrammer& gang) {
    gang.onCommand(command::kGangInformation, [&gang] { gangInformation(gang); });
}

}  // namespace tarnel::sim

// A gang programmer's own commands: the download header that hands the line to each unit in
// turn, the socket connects, the stored-data status, the S/N hand-out and the gang start that
// programs the four chips and answers with one result byte.

#include "link/programmer_kind.h"
#include "link/programmer_session.h"
#include "sim/sim_programmer.h"

namespace tarnel::sim {

namespace {

// The gang programmer sends the extended download header from this firmware version on.
constexpr std::uint16_t kExtendedHeaderVersion = 0x0119;
// Extended header: algoFlag, verify-only byte, three checksum pairs, CONFIG sum (10 bytes),
// then the part number with its NUL, at most 64 bytes.
constexpr std::size_t kHeaderFixedBytes = 10;
constexpr std::size_t kHeaderPartNumberBytes = 64;

// Result byte: bit 2 is socket #1 .. bit 5 socket #4; a set bit means the socket passed.
constexpr std::uint8_t passBit(int socket) {
    return static_cast<std::uint8_t>(1u << (socket + 1));
}

// 0xCC..0xCF -> 0xAF, the socket number; the line then reaches that socket's unit.
void connectSocket(SimGangProgrammer& gang, int socket) {
    DeviceLine& line = gang.line();
    if (!line.reply(kGangAck) || !line.reply(static_cast<std::uint8_t>(socket)))
        return;
    gang.relayToUnit(socket);
}

// 0xCA -> 0xAF; the extended header (from 0x0119 on); sync 0x01; each unit's storage
// download, with sync n + 1 after unit n.
void downloadHeader(SimGangProgrammer& gang) {
    DeviceLine& line = gang.line();
    if (!line.reply(kGangAck))
        return;
    std::vector<std::uint8_t> header;
    if (gang.firmwareVersion() >= kExtendedHeaderVersion) {
        header.resize(kHeaderFixedBytes);
        if (!line.readBlock(header.data(), header.size()))
            return;
        std::uint8_t character = 0;
        do {
            if (!line.read(character))
                return;
            header.push_back(character);
        } while (character != 0 && header.size() < kHeaderFixedBytes + kHeaderPartNumberBytes);
    }
    gang.withGangState([&](GangState& state) {
        state.stored = false;
        state.header = header;
    });
    if (!line.reply(0x01))
        return;
    bool allStored = true;
    for (int socket = 1; socket <= kGangUnits; ++socket) {
        gang.relayToUnit(socket);
        allStored = allStored && gang.unit(socket).state().setup.present;
        if (socket < kGangUnits && !line.reply(static_cast<std::uint8_t>(socket + 1)))
            return;
    }
    gang.withGangState([&](GangState& state) { state.stored = allStored; });
}

// 0xD1 -> 0xAF, then 0x00 when a gang download completed, 0xFF when nothing is stored.
void storedDataStatus(SimGangProgrammer& gang) {
    DeviceLine& line = gang.line();
    if (line.reply(kGangAck))
        line.reply(gang.gangState().stored ? 0x00 : 0xFF);
}

// 0xD2 -> 0xAF, sync 0x01; each unit takes its S/N settings, with sync n before unit n >= 2.
void serialHandOut(SimGangProgrammer& gang) {
    DeviceLine& line = gang.line();
    if (!line.reply(kGangAck) || !line.reply(0x01))
        return;
    for (int socket = 1; socket <= kGangUnits; ++socket) {
        if (socket > 1 && !line.reply(static_cast<std::uint8_t>(socket)))
            return;
        gang.relayToUnit(socket);
    }
}

// 0xC3 -> 0xAF; the units program (or verify) their chips; then the result byte.
void start(SimGangProgrammer& gang) {
    DeviceLine& line = gang.line();
    if (!line.reply(kGangAck))
        return;
    line.clock().sleepMs(gang.runMs());
    std::uint8_t result = 0;
    for (int socket = 1; socket <= kGangUnits; ++socket) {
        if (runStoredSetupSilently(gang.unit(socket)))
            result |= passBit(socket);
    }
    gang.withGangState([&](GangState& state) { state.lastResult = result; });
    line.reply(result);
}

}  // namespace

void registerGangCommands(SimGangProgrammer& gang) {
    for (int socket = 1; socket <= kGangUnits; ++socket) {
        const auto command = static_cast<std::uint8_t>(command::kGangConnectSocket1 + socket - 1);
        gang.onCommand(command, [&gang, socket] { connectSocket(gang, socket); });
    }
    gang.onCommand(command::kGangDownloadHeader, [&gang] { downloadHeader(gang); });
    gang.onCommand(command::kGangStoredDataStatus, [&gang] { storedDataStatus(gang); });
    gang.onCommand(command::kSerialNumberSettings, [&gang] { serialHandOut(gang); });
    gang.onCommand(command::kUpdateChips, [&gang] { start(gang); });
}

}  // namespace tarnel::sim

#pragma once
// The chip boot loader's command set over the serial link, one call per exchange of its wire
// table: command byte, the 'Z' that accepts it, the data, the 0xA5 that ends it. It knows no
// messages, status lines or progress; each call answers true or false and records the outcome
// in the job's linkResult, and the flows above it decide what the operator sees.

#include <array>
#include <cstdint>

#include "core/clock.h"
#include "link/programmer_link.h"

namespace tarnel {

namespace isp {
inline constexpr std::uint8_t kProbe = 0x00;
inline constexpr std::uint8_t kEraseAprom = 0xC1;
inline constexpr std::uint8_t kProgramAprom = 0xC2;
inline constexpr std::uint8_t kEnd = 0xC3;
inline constexpr std::uint8_t kEraseDataFlash = 0xCA;
inline constexpr std::uint8_t kProgramDataFlash = 0xCB;
inline constexpr std::uint8_t kWriteConfig = 0xCC;
inline constexpr std::uint8_t kAccepted = 'Z';
inline constexpr std::uint8_t kDone = 0xA5;
inline constexpr std::uint8_t kEraseAnnounced = 0xFF;  // first CONFIG reply: APROM erased

inline constexpr std::uint32_t kBlockBytes = 128;
// Pauses of the wire table, in milliseconds.
inline constexpr std::uint32_t kConfigBytePauseMs = 5;
inline constexpr std::uint32_t kFramePauseMs = 1;
inline constexpr std::uint32_t kLastBlockDataPauseMs = 5;
}  // namespace isp

// The 16-bit sum of a block's data bytes.
std::uint16_t blockSum(const std::uint8_t* data, std::uint32_t count);

class BootLoader {
  public:
    enum class Region { Aprom, DataFlash };

    BootLoader(ProgrammerLink& link, Clock& clock, std::int32_t& linkResult)
        : link_(link), clock_(clock), linkResult_(linkResult) {}

    bool sendByte(std::uint8_t value);
    bool sendBlock(const std::uint8_t* data, std::uint32_t count);
    bool receiveByte(std::uint8_t& place);
    bool expectAccepted();
    bool expectDone();

    // The command, then the eight CONFIG bytes from byte 7 down. `eraseAnnounced` is set when
    // the chip answers that it erases APROM first; expectDone() then reads the result.
    bool sendConfig(const std::array<std::uint8_t, 8>& bytes, bool& eraseAnnounced);
    // The erase command of a region, accepted; awaitErased() reads its end under the erase
    // time-out.
    bool startErase(Region region);
    bool awaitErased();
    // One whole 128-byte block as a frame (count, data, 16-bit sum) and its result. On the
    // normal protocol the DataFlash count byte goes alone.
    bool programBlock(Region region, const std::uint8_t* data, bool fastProtocol);
    // The shorter last block, its fields sent one by one.
    bool programLastBlock(Region region, const std::uint8_t* data, std::uint32_t count);
    // Ends the session; the acknowledge is awaited even when the command could not be sent.
    bool end() {
        const bool sent = sendByte(isp::kEnd);
        return expectAccepted() && sent;
    }

  private:
    bool finish(bool ok) {
        linkResult_ = ok ? 1 : 0;
        return ok;
    }
    bool startProgram(Region region);
    // The protocol's pause after a frame, then its result. The host sends nothing in the
    // pause, so the result is awaited from its start and only what is left of the pause is
    // slept after it: the result of a whole block comes a frame's time later, so the pause
    // costs no wake-up of its own.
    bool pauseThenExpectDone(std::uint32_t pauseMs);

    ProgrammerLink& link_;
    Clock& clock_;
    std::int32_t& linkResult_;
};

}  // namespace tarnel

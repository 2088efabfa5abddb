#pragma once
// A simulated chip boot loader on the chip's own serial port: it ignores the host's probes
// until the chip is reset, answers the next probe with the code of the baud rate it will use,
// then serves the boot-loader commands (write CONFIG, erase and program APROM and DataFlash in
// blocks of up to 128 bytes with a 16-bit sum, end). A line without DTR (a pseudo-terminal)
// cannot carry the reset, so the reset comes after a number of probes or a time instead.
//
// A scenario may present several chips one after another, as a production line does: a chip
// is done when the host ends the update (0xC3) or starts probing again after serving it; then
// the next chip is put in place. After the last chip the line stays silent.

#include <cstdint>
#include <vector>

#include "sim/programmer_state.h"
#include "sim/sim_programmer.h"

namespace tarnel::sim {

struct BootChip {
    SimChip chip;                  // part, memories, CONFIG and the code protection (locked)
    std::uint8_t baudCode = 0x73;  // the answer to a probe after the reset
    std::vector<std::uint8_t> leadingAnswers;  // answered to the first probes before baudCode
    std::uint32_t resetAfterProbes = 20;       // probes ignored before the reset
    std::uint32_t resetAfterMs = 0;  // if not 0: the reset comes this long after the first probe
    std::uint32_t eraseMs = 200;     // time an erase takes
};

// A bad block is answered with this instead of 0xA5.
inline constexpr std::uint8_t kBlockRefused = 0x00;

class SimBootloader : public SimDevice {
  public:
    SimBootloader(DeviceLine& line, std::vector<BootChip> chips);

    // Copies of the chips as they are now (memories, CONFIG, lock state).
    std::vector<SimChip> chips() const;
    // How many chips have been finished (ended or left for the next one).
    int chipsDone() const;

  private:
    enum class Phase { WaitingForReset, Announced, Serving, Gone };

    void probe();
    void writeConfig();
    void erase(Region region);
    void program(Region region);
    void end();
    // The chip being served; null after the last.
    BootChip* current();
    void nextChip();
    // A command the boot loader serves only after it has announced itself.
    bool serving();

    std::vector<BootChip> chips_;
    std::size_t index_ = 0;
    Phase phase_ = Phase::WaitingForReset;
    std::uint32_t probes_ = 0;
    std::uint64_t firstProbeMs_ = 0;
    std::size_t answers_ = 0;
    std::size_t writePosition_[2] = {0, 0};  // next block address in APROM and DataFlash
    int done_ = 0;
};

}  // namespace tarnel::sim

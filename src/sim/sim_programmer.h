#pragma once
// Simulated programmers. Each command is straight-line code that reads its side of the wire
// as the protocol table does: read the command byte, acknowledge, read and check the fields,
// answer. A byte that is not what the protocol says ends the command with a recorded error.
//
// Commands are dispatched through a table, so the storage, socket and chip commands can be
// added to a device (onCommand) without touching the loop; a command with no handler gets no
// answer, as a programmer that does not know it.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/device_line.h"
#include "sim/programmer_state.h"

namespace tarnel::sim {

class SimDevice {
  public:
    using Handler = std::function<void()>;

    explicit SimDevice(DeviceLine& line) : line_(line) {}
    virtual ~SimDevice() = default;
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // Adds or replaces the handler of a command byte.
    void onCommand(std::uint8_t command, Handler handler);
    // Serves commands until the line is gone or a stop is requested.
    void run();
    // Serves one command already read from the line; false when it has no handler.
    bool dispatch(std::uint8_t command);

    DeviceLine& line() { return line_; }
    // Commands received that had no handler.
    std::vector<std::uint8_t> unknownCommands() const;

  protected:
    DeviceLine& line_;
    mutable std::mutex mutex_;  // guards the state that tests read while the device runs

  private:
    std::map<std::uint8_t, Handler> handlers_;
    std::vector<std::uint8_t> unknown_;
};

// A single programmer: identify, firmware version, firmware load, and the storage, update
// and chip commands registered from their own files.
class SimProgrammer : public SimDevice {
  public:
    SimProgrammer(DeviceLine& line, std::uint8_t kind, std::uint16_t firmwareVersion,
                  SimChip chip = {});

    std::uint8_t kind() const;
    std::uint16_t firmwareVersion() const;
    // The image of the last load whose checksum matched (as it went over the wire).
    std::vector<std::uint8_t> loadedFirmware() const;
    int firmwareLoads() const;

    // A programmer that sends its whole stored-setup report before it reads the host's
    // decision byte, instead of listening for a stop between the fields.
    void setWholeReport(bool whole) { wholeReport_ = whole; }
    bool wholeReport() const { return wholeReport_; }

    // A copy of the stored setup and the chip, for tests and reports.
    ProgrammerState state() const;
    // Runs f on the state with the device's lock held; the command handlers change the state
    // only through it.
    template <typename F>
    auto withState(F&& f) {
        std::lock_guard lock(mutex_);
        return f(state_);
    }
    template <typename F>
    auto withState(F&& f) const {
        std::lock_guard lock(mutex_);
        return f(state_);
    }

  private:
    void identify();
    void version();
    void loadFirmware();

    std::uint8_t kind_;
    std::uint16_t version_;
    std::vector<std::uint8_t> loaded_;
    int loads_ = 0;
    std::atomic<bool> wholeReport_{false};
    ProgrammerState state_;
};

// The handlers of the storage download (0xC2), S/N settings (0xD2) and update (0xC3).
void registerStorageCommands(SimProgrammer& programmer);

// Programs (or, when the stored setup says verify only, verifies) the chip from the stored
// setup without a word on the line, as a gang unit does when its gang programmer starts it.
// True when the chip passed.
bool runStoredSetupSilently(SimProgrammer& unit);

// One unit of a gang programmer as a scenario describes it.
struct UnitSetup {
    std::uint8_t kind = 0xAB;
    std::uint16_t firmwareVersion = 0x0619;
    bool wholeReport = false;
    SimChip chip;
};

// What a gang programmer holds besides its units.
struct GangState {
    bool stored = false;               // a gang download reached its last unit
    std::vector<std::uint8_t> header;  // the extended download header as received
    std::optional<std::uint8_t> lastResult;
};

inline constexpr int kGangUnits = 4;
// How long the gang programmer takes to program its four chips before it answers.
inline constexpr std::uint32_t kDefaultGangRunMs = 1500;

// A gang programmer: identify (0xAF), firmware version and firmware load, acknowledged with
// 0xAF, and four programmer units behind it on the same line.
class SimGangProgrammer : public SimDevice {
  public:
    SimGangProgrammer(DeviceLine& line, std::uint16_t firmwareVersion,
                      std::array<UnitSetup, kGangUnits> units = {},
                      std::uint32_t runMs = kDefaultGangRunMs);

    std::uint16_t firmwareVersion() const;
    std::vector<std::uint8_t> loadedFirmware() const;
    int firmwareLoads() const;
    std::uint32_t runMs() const { return runMs_; }

    // The unit of socket 1..4.
    SimProgrammer& unit(int socket) { return *units_.at(static_cast<std::size_t>(socket - 1)); }

    GangState gangState() const;
    template <typename F>
    auto withGangState(F&& f) {
        std::lock_guard lock(mutex_);
        return f(gang_);
    }

    // Hands the line to the unit of socket 1..4: it serves identify, version and firmware
    // loads, then one other command, after which the line is the gang programmer's again.
    void relayToUnit(int socket);

  private:
    void identify();
    void version();
    void loadFirmware();

    std::uint16_t version_;
    std::vector<std::uint8_t> loaded_;
    int loads_ = 0;
    std::array<std::unique_ptr<SimProgrammer>, kGangUnits> units_;
    std::uint32_t runMs_;
    GangState gang_;
};

// The handlers of the gang download header (0xCA), socket connects (0xCC..0xCF), stored-data
// status (0xD1), S/N hand-out (0xD2) and gang start (0xC3).
void registerGangCommands(SimGangProgrammer& gang);

// The handlers of verify (0xC7), read (0xC9), programmer information (0xC6) and chip check
// (0xD0); for a gang programmer, its information request (0xCB).
void registerReadCommands(SimProgrammer& programmer);
void registerReadCommands(SimGangProgrammer& gang);

}  // namespace tarnel::sim

#pragma once
// Simulated programmers. Each command is straight-line code that reads its side of the wire
// as the protocol table does: read the command byte, acknowledge, read and check the fields,
// answer. A byte that is not what the protocol says ends the command with a recorded error.
//
// Commands are dispatched through a table, so the storage, socket and chip commands can be
// added to a device (onCommand) without touching the loop; a command with no handler gets no
// answer, as a programmer that does not know it.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "sim/device_line.h"

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

// A single programmer: identify, firmware version, firmware load.
class SimProgrammer : public SimDevice {
  public:
    SimProgrammer(DeviceLine& line, std::uint8_t kind, std::uint16_t firmwareVersion);

    std::uint8_t kind() const;
    std::uint16_t firmwareVersion() const;
    // The image of the last load whose checksum matched (as it went over the wire).
    std::vector<std::uint8_t> loadedFirmware() const;
    int firmwareLoads() const;

  private:
    void identify();
    void version();
    void loadFirmware();

    std::uint8_t kind_;
    std::uint16_t version_;
    std::vector<std::uint8_t> loaded_;
    int loads_ = 0;
};

// A gang programmer: identify (0xAF), firmware version and firmware load, acknowledged with
// 0xAF.
class SimGangProgrammer : public SimDevice {
  public:
    SimGangProgrammer(DeviceLine& line, std::uint16_t firmwareVersion);

    std::uint16_t firmwareVersion() const;
    std::vector<std::uint8_t> loadedFirmware() const;
    int firmwareLoads() const;

  private:
    void identify();
    void version();
    void loadFirmware();

    std::uint16_t version_;
    std::vector<std::uint8_t> loaded_;
    int loads_ = 0;
};

}  // namespace tarnel::sim

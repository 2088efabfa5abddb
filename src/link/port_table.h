#pragma once
// The port table: slots 1..256, each a device name. Slot n has the portable name "\\.\COMn",
// which is what the remembered port (ProgrammingJob::comPortName, 16 bytes) holds whenever
// the device's own name does not fit; on Windows it is the device name itself.
//
// On POSIX the table lists the paths in TARNEL_PORTS (colon-separated) first, then the serial
// devices present (/dev/ttyUSB*, ttyACM*, ttyS*, ttyAMA*, rfcomm*), each kind in natural
// order (ttyS2 before ttyS10). A port is shown to the operator without its device prefix.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel {

inline constexpr int kPortSlots = 256;
inline constexpr std::size_t kPortNameCapacity = 16;  // bytes, NUL included

// "\\.\COM" and the slot number (1..256) in decimal; empty for any other number.
std::string slotName(int slot);
// The slot of a "\\.\COMn" name (1..256), or 0 when the name is not of that form.
int slotOfName(std::string_view name);

// The name without its device prefix ("\\.\" or "/dev/"): "\\.\COM3" -> "COM3",
// "/dev/ttyUSB0" -> "ttyUSB0"; other names unchanged.
std::string portDisplayName(std::string_view name);

// Natural order of device names: digit runs compare as numbers.
bool naturalLess(std::string_view a, std::string_view b);

// Builds the POSIX table from the TARNEL_PORTS value (may be null) and the devices found in
// devDirectory. At most kPortSlots entries; a path is listed once.
std::vector<std::string> buildPosixPortTable(const char* tarnelPorts,
                                             const std::string& devDirectory = "/dev");

// The device that a remembered name stands for: slot names go through the table; any other
// name is a device path ("ttyUSB0" means "/dev/ttyUSB0"). Empty when there is none.
std::string deviceForName(std::string_view remembered, const std::vector<std::string>& table);

// What to remember for slot n of the table: the device name when it fits the 16-byte field,
// the slot name otherwise.
std::string rememberedNameForSlot(int slot, const std::vector<std::string>& table);

// The remembered name for a port given by the operator: a name as the port list shows it
// ("ttyUSB0", "COM3", a TARNEL_PORTS path), a device path, or a link to a listed device
// (/dev/serial/by-id/...). Empty when it names no slot and is too long to be remembered.
std::string rememberedNameFor(std::string_view given, const std::vector<std::string>& table);

}  // namespace tarnel

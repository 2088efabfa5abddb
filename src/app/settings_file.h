#pragma once
// The settings file "GUI.LOG" in the working directory: the operator's last programmer type,
// part, serial-number and counter settings and port, kept across runs. Binary despite its name.
//
// Layout, little-endian: 0 programmerType; 1 partIndex (16 bits); 8, 9 usage times high and
// low; 10 serialEnabled (0xFF/0x00); 11 serialAddress (32 bits); 16 S/N increment and 24 serial
// number, each 8 bytes of packed decimal, most significant digit pair first; 32
// chipCounterEnabled; 33 chipCounterDown; 34 chipCounter (32 bits); 40 0x00 for the fast UART
// protocol, 0xFF otherwise; zeros up to 256; then the port name without terminator.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/operator.h"
#include "core/programming_job.h"

namespace tarnel {

inline constexpr const char* kSettingsFileName = "GUI.LOG";

// The settings file's path in a working directory.
std::string settingsPathIn(std::string_view workDirectory);

std::vector<std::uint8_t> encodeSettings(const ProgrammingJob& job);

// Takes the file's values into the job. A field the bytes do not wholly hold, and every
// field after it, keeps the job's value. Usage times stored as 0, 0 read as 0xFF, 0xFF; a part
// index above the catalogue falls back to the default part; a chip counter above its range
// is held at its maximum; at most 15 port-name characters are taken.
void decodeSettings(std::span<const std::uint8_t> bytes, ProgrammingJob& job);

// Reads job.settingsFilePath into the job. Returns false, with the job unchanged, when the
// file cannot be read; that is not an error (the defaults stay).
bool loadSettings(ProgrammingJob& job);

// Writes the job to job.settingsFilePath; "'GUI.LOG' cannot be created !" (FAIL box) when
// it cannot.
bool saveSettings(const ProgrammingJob& job, Operator& op);

}  // namespace tarnel

#pragma once
// Where an installed Tarnel keeps its data, found from the running program's own location so
// that an installation can be moved: <prefix>/share/tarnel beside <prefix>/bin, or on
// Windows the program's folder.

#include <string>

namespace tarnel {

// The directory of the running program; empty when it cannot be found.
std::string programDirectory();

// The firmware directory of an installation: <prefix>/share/tarnel/firmware for a program in
// <prefix>/bin, the "firmware" folder beside tarnel.exe on Windows; empty when unknown.
std::string installedFirmwareDirectory();

}  // namespace tarnel

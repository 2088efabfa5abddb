#pragma once
// The serial port on Windows: CreateFileA on "\\.\COMn" (exclusive by nature), the line set
// through a DCB, the five time-out values handed to the driver as COMMTIMEOUTS (whose meaning
// they have), DTR through EscapeCommFunction. The port table is COM1..COM256.

#include <memory>
#include <string>

#include "link/serial_port.h"

#if defined(_WIN32)
#include <windows.h>

namespace tarnel {

class Win32SerialPort : public SerialPort {
  public:
    // Opens "\\.\COMn" ("COMn" is taken as well); null when the port does not exist or is in
    // use elsewhere. Input and output still pending from an earlier user are discarded.
    static std::unique_ptr<Win32SerialPort> open(const std::string& name);

    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    bool configure(const LineSettings& settings) override;
    bool setTimeouts(const Timeouts& timeouts) override;
    Transfer read(std::uint8_t* buffer, std::size_t count) override;
    Transfer readAfter(std::uint8_t* buffer, std::size_t count, std::uint64_t waitUs) override;
    Transfer write(const std::uint8_t* data, std::size_t count) override;
    bool setDtr(bool high) override;

    HANDLE handle() const { return handle_; }

  private:
    explicit Win32SerialPort(HANDLE handle) : handle_(handle) {}

    HANDLE handle_;
};

// COMMTIMEOUTS holding the five values (kReadReturnAtOnce is MAXDWORD).
COMMTIMEOUTS toCommTimeouts(const Timeouts& timeouts);

class Win32PortFactory : public PortFactory {
  public:
    std::vector<std::string> portTable() override;
    std::unique_ptr<SerialPort> open(const std::string& device) override;
};

}  // namespace tarnel

#endif  // _WIN32

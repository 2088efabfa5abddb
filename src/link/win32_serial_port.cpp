#include "link/win32_serial_port.h"

#if defined(_WIN32)

#include <algorithm>
#include <climits>

#include "link/port_table.h"

namespace tarnel {

namespace {

// A single ReadFile/WriteFile moves at most a DWORD's worth.
constexpr std::size_t kMaxChunk = 1u << 30;

std::string deviceName(const std::string& name) {
    if (name.rfind("\\\\.\\", 0) == 0)
        return name;
    return "\\\\.\\" + name;
}

}  // namespace

std::unique_ptr<Win32SerialPort> Win32SerialPort::open(const std::string& name) {
    if (name.empty())
        return nullptr;
    // Share mode 0: a port that another program holds cannot be opened.
    const HANDLE handle = ::CreateFileA(deviceName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    ::PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    return std::unique_ptr<Win32SerialPort>(new Win32SerialPort(handle));
}

Win32SerialPort::~Win32SerialPort() {
    ::CloseHandle(handle_);
}

bool Win32SerialPort::configure(const LineSettings& settings) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb))
        return false;
    dcb.BaudRate = settings.baudRate;
    dcb.ByteSize = settings.byteSize;
    // Parity and StopBits values are those of the DCB (NOPARITY.., ONESTOPBIT..).
    dcb.Parity = static_cast<BYTE>(settings.parity);
    dcb.StopBits = static_cast<BYTE>(settings.stopBits);
    dcb.fParity = settings.parityCheck ? TRUE : FALSE;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    return ::SetCommState(handle_, &dcb) != 0;
}

COMMTIMEOUTS toCommTimeouts(const Timeouts& timeouts) {
    COMMTIMEOUTS result{};
    result.ReadIntervalTimeout = timeouts.readInterval;
    result.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    result.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    result.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
    result.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
    return result;
}

bool Win32SerialPort::setTimeouts(const Timeouts& timeouts) {
    COMMTIMEOUTS values = toCommTimeouts(timeouts);
    return ::SetCommTimeouts(handle_, &values) != 0;
}

Transfer Win32SerialPort::read(std::uint8_t* buffer, std::size_t count) {
    // The driver applies the time-outs to the whole request, so it is made in one call.
    DWORD got = 0;
    const DWORD asked = static_cast<DWORD>(std::min(count, kMaxChunk));
    if (!::ReadFile(handle_, buffer, asked, &got, nullptr))
        return {::GetLastError() == ERROR_TIMEOUT, got};
    return {true, got};
}

Transfer Win32SerialPort::readAfter(std::uint8_t* buffer, std::size_t count, std::uint64_t waitUs) {
    ::Sleep(static_cast<DWORD>((waitUs + 999) / 1000));
    COMMTIMEOUTS kept{};
    if (!::GetCommTimeouts(handle_, &kept))
        return {false, 0};
    COMMTIMEOUTS atOnce = toCommTimeouts(Timeouts{kReadReturnAtOnce, 0, 0, 0, 0});
    if (!::SetCommTimeouts(handle_, &atOnce))
        return {false, 0};
    const Transfer transfer = read(buffer, count);
    return ::SetCommTimeouts(handle_, &kept) != 0 ? transfer : Transfer{false, transfer.count};
}

Transfer Win32SerialPort::write(const std::uint8_t* data, std::size_t count) {
    DWORD put = 0;
    const DWORD asked = static_cast<DWORD>(std::min(count, kMaxChunk));
    if (!::WriteFile(handle_, data, asked, &put, nullptr))
        return {::GetLastError() == ERROR_TIMEOUT, put};
    return {true, put};
}

bool Win32SerialPort::setDtr(bool high) {
    return ::EscapeCommFunction(handle_, high ? SETDTR : CLRDTR) != 0;
}

std::vector<std::string> Win32PortFactory::portTable() {
    std::vector<std::string> table;
    table.reserve(kPortSlots);
    for (int slot = 1; slot <= kPortSlots; ++slot)
        table.push_back(slotName(slot));
    return table;
}

std::unique_ptr<SerialPort> Win32PortFactory::open(const std::string& device) {
    return Win32SerialPort::open(device);
}

}  // namespace tarnel

#endif  // _WIN32

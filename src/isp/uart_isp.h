#pragma once
// Programming one chip through its own boot loader over a COM port, without a programmer:
// the chip is reset (DTR pulses) and probed at 9600 baud until its boot loader announces the
// rate it will use, the port is reopened at that rate, and CONFIG, APROM and DataFlash go
// through the boot loader's small command set in 128-byte blocks. Also the production loop
// that does this chip after chip, and the remembered ISP port with the port list.
//
// The transfer primitives show no message; the flows word every failure themselves.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/operator.h"
#include "core/programming_job.h"
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
inline constexpr std::uint32_t kDetectBaudRate = 9600;
inline constexpr std::uint32_t kDetectReadTimeoutMs = 2;
inline constexpr std::uint32_t kPulseIntervalMs = 500;
inline constexpr std::uint32_t kResetPulseMs = 50;
inline constexpr std::uint32_t kProductionPulseMs = 10;
inline constexpr std::uint64_t kDetectWindowMs = 10000;
inline constexpr std::uint64_t kDetectLoopMs = 10100;
inline constexpr std::uint32_t kProductionPulseWrap = 1000;
inline constexpr int kOpenAttempts = 3;
// Before the line changes speed, answers to earlier probes are let in and dropped until it
// has been quiet this long (an answer comes about 2 ms after its probe at 9600 baud), at
// most this many of them.
inline constexpr std::uint32_t kSettleQuietMs = 5;
inline constexpr int kMaxLateAnswers = 32;

inline constexpr const char* kPortFileName = "GUI_ComPortISP.LOG";
inline constexpr const char* kDefaultPort = "\\\\.\\COM1";
}  // namespace isp

// The baud rate a boot loader's answer to the probe announces; none for any other byte.
std::optional<std::uint32_t> baudRateOfCode(std::uint8_t code);
// The 16-bit sum of a block's data bytes.
std::uint16_t blockSum(const std::uint8_t* data, std::uint32_t count);
// Puts an image's length into 128-byte units (lengthHigh whole blocks, lengthLow the rest).
void setBlockUnits(ImageBuffer& image);
// The success text of an ISP update, with the S/N when it is programmed.
std::string ispSuccessText(const ProgrammingJob& job);

class UartIsp {
  public:
    UartIsp(ProgrammingJob& job, ProgrammerLink& link, Operator& op, Clock& clock);

    // Flows.
    void ispUpdateChip();
    void ispProductionLoop();
    bool detectChip();
    bool ispWriteConfig();
    bool ispWriteAprom();
    bool ispWriteDataFlash();

    // The port-search body: reads (or creates) the ISP port file, lists the ports and
    // selects the remembered one.
    void searchIspPorts();

    // Ends a running production loop at its next detection step; safe from any thread.
    void stopProduction() { job_.productionMode.store(false); }

    // The COM-port list as the window shows it: full names, and the selected entry (-1: none).
    std::vector<std::string> portList() const;
    int selectedPort() const;
    void selectPort(int index);
    // Selects the entry of that full name; false when the list has none.
    bool selectPortNamed(const std::string& name);

    // The port of the current run (cut to the 16-byte field).
    std::string ispPortName() const { return std::string(ispPortName_.data()); }
    std::string portFilePath() const;

    // Transfer primitives: no message, the result in the job's linkResult.
    bool ispSendByte(std::uint8_t value);
    bool ispSendBlock(const std::uint8_t* data, std::uint32_t count);
    bool ispReceiveByte(std::uint8_t& place);
    bool ispExpectZ();

  private:
    enum class Region { Aprom, DataFlash };

    void takeSelectedPort();
    bool openForDetection();
    bool reopenAfterFailedProbe();
    void resetPulse(std::uint32_t ms);
    bool reopenAtRate(std::uint32_t baudRate);
    void dropLateAnswers();
    void savePortFile();
    bool writeRegion(Region region);
    void pauseSteps(int count, std::uint32_t ms);
    bool finish(bool ok);
    // The S/N about to be shown as written, for the chip outcome.
    void noteIspSerialNumber();
    // Writes CONFIG, APROM and DataFlash as selected; the failure text when one failed.
    std::optional<std::string> writeSelected(bool longTexts);

    ProgrammingJob& job_;
    ProgrammerLink& link_;
    Operator& op_;
    Clock& clock_;
    std::array<char, 16> ispPortName_{};
    mutable std::mutex listMutex_;  // the list is filled by the search thread
    std::vector<std::string> portList_;
    int selected_ = -1;
};

}  // namespace tarnel

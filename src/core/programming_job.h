#pragma once
// The one record of what is to be programmed and how, shared by the window and the worker.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "core/chip_catalogue.h"
#include "core/image_buffer.h"

namespace tarnel {

class SerialNumberSource;

// Low nibble of programmerType.
inline constexpr std::uint8_t kTypeIsp = 0x00;
inline constexpr std::uint8_t kTypeIcp = 0x01;
inline constexpr std::uint8_t kTypeIspByCom = 0x02;
// High nibble of programmerType.
inline constexpr std::uint8_t kTypeGang = 0x40;
inline constexpr std::uint8_t kTypeProduction = 0x80;

inline constexpr std::uint32_t kSerialHalfLimit = 100000000;  // each half holds 8 digits
inline constexpr std::uint32_t kChipCounterMax = 999999;
// The port a job remembers before anything has named one.
inline constexpr const char* kDefaultComPort = "\\\\.\\COM1";

// The packed-decimal form of a 16-digit number: byte 0 holds the lowest digit pair.
using Bcd8 = std::array<std::uint8_t, 8>;
Bcd8 serialAsBcd(std::uint32_t high, std::uint32_t low);
// Inverse of serialAsBcd; a nibble above 9 is read as 9 so each half stays within 8 digits.
void serialFromBcd(const Bcd8& bcd, std::uint32_t& high, std::uint32_t& low);

class ProgrammingJob {
  public:
    ProgrammingJob();

    // 1. Programmer type and mode
    std::uint8_t programmerType = kTypeIsp;
    bool icpMode = false;                     // derived
    bool comPortIspMode = false;              // derived
    bool gangMode = false;                    // derived
    std::atomic<bool> productionMode{false};  // derived; cleared from the window's thread
    std::atomic<bool> busy{false};
    bool downloadThenUpdate = false;
    bool forceFirmwareUpdate = false;
    std::int32_t linkResult = 0;

    // 2. Part selection
    std::uint32_t partIndex = 2;
    std::uint32_t savedIcpPartIndex = 100;
    std::uint32_t savedIspPartIndex = 2;
    std::uint32_t partListIndex = 0;
    std::string categoryStr;
    std::string previousCategoryStr;
    std::uint32_t familyListIndex = 0;
    // Family8051, Kite, Lark, Wren, Teal, Sonra, Marl
    std::array<std::uint32_t, 7> lastPartPerFamily{100, 200, 800, 850, 900, 1000, 1100};
    std::uint32_t lastPartNoFamily = 2;
    std::uint32_t activeTab = 0;
    bool dataFlashTabShown = false;
    bool separateApromErase = false;  // derived

    // 3. Items to be updated and the FLAGs byte
    bool updateAprom = false;
    bool updateDataFlash = false;
    bool updateLdrom = false;
    bool updateConfig = false;
    bool updateIspDownload = false;
    std::uint8_t flags = 0;

    // 4. CONFIG words: bytes 0..3 CONFIG1, bytes 4..7 CONFIG0, most significant byte first.
    std::array<std::uint8_t, 8> configBytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::uint32_t dataFlashPages = 1;

    // 5. Images
    ImageBuffer imageAprom;
    ImageBuffer imageDataFlash;
    ImageBuffer imageLdrom;
    std::uint32_t readLimit = 0x20000;
    std::string projectFileName;

    // 6. Advanced settings
    bool usageLimitEnabled = false;
    std::uint8_t usageTimesHigh = 0;
    std::uint8_t usageTimesLow = 0;
    bool serialEnabled = false;
    std::uint32_t serialHigh = 0;
    std::uint32_t serialLow = 0;
    std::uint32_t incrementHigh = 0;
    std::uint32_t incrementLow = 1;
    std::uint32_t serialAddress = 0;
    bool chipCounterEnabled = false;
    bool chipCounterDown = false;
    std::uint32_t chipCounter = 0;
    std::uint32_t gangPassCount = 0;
    bool uartFastProtocol = false;
    bool gangVerifyOnly = false;

    // 7. Serial link: device name, NUL-terminated within 16 bytes; kDefaultComPort until a
    // settings file, a search or the operator names another.
    std::array<char, 16> comPortName{};
    bool comPortFromIspSearch = false;

    // 8. Paths
    std::string workDirectory;
    std::string settingsFilePath;

    // Called after each step of the serial number or the chip counter, so the front can
    // save them at once: a serial number handed out must never be handed out again after a
    // crash or a power cut.
    std::function<void()> countersChanged;

    // On a line, the ledger the serial numbers come from; null otherwise, and the job steps
    // its own serial number.
    SerialNumberSource* serialSource = nullptr;

    // The catalogue, with the legacy list masking that follows the programmer type.
    ChipCatalogue catalogue;

    // The selected part's row.
    const PartRecord& part() const { return catalogue.partAt(partIndex); }

    // Recomputes the mode flags, separateApromErase and the part's default CONFIG words.
    void refreshDerivedState();
    // Recomputes and returns the FLAGs byte.
    std::uint8_t buildFlags();
    // Each calls countersChanged after the step.
    void advanceSerialNumber();
    void retreatSerialNumber();
    void countChips();

    // comPortName as text, and set from text (cut to 15 characters).
    std::string comPortText() const;
    void setComPortName(std::string_view name);
};

}  // namespace tarnel

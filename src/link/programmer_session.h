#pragma once
// The shared layer of every programmer command: the link wrappers with their operator
// messages, the programmer search (port, identity byte, firmware variant), the firmware
// version query and the programmer firmware loads.
//
// Wire style: one command byte, an acknowledge after each step, values one byte at a time
// with a 1 ms pause after each, bulk data in 256-byte blocks. Every wrapper records its
// result in the job's linkResult and shows its own FAIL message; callers stop at the first
// false, so each exchange reads as straight-line code.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/install_paths.h"
#include "core/operator.h"
#include "core/programming_job.h"
#include "link/programmer_kind.h"
#include "link/programmer_link.h"

namespace tarnel {

// Command bytes: the first byte of every programmer command.
namespace command {
inline constexpr std::uint8_t kIdentify = 0xC0;
inline constexpr std::uint8_t kFirmwareVersion = 0xC1;
inline constexpr std::uint8_t kDownloadStorage = 0xC2;
inline constexpr std::uint8_t kUpdateChips = 0xC3;
inline constexpr std::uint8_t kLoadFirmware = 0xC5;
inline constexpr std::uint8_t kProgrammerInformation = 0xC6;
inline constexpr std::uint8_t kVerifyChips = 0xC7;
inline constexpr std::uint8_t kReadChip = 0xC9;
inline constexpr std::uint8_t kGangDownloadHeader = 0xCA;
inline constexpr std::uint8_t kGangInformation = 0xCB;
inline constexpr std::uint8_t kGangConnectSocket1 = 0xCC;  // 0xCC..0xCF: sockets #1..#4
inline constexpr std::uint8_t kChipCheck = 0xD0;
inline constexpr std::uint8_t kGangStoredDataStatus = 0xD1;
inline constexpr std::uint8_t kSerialNumberSettings = 0xD2;
}  // namespace command

// The marker byte sent between the eighth and ninth block of the gang firmware.
inline constexpr std::uint8_t kGangFirmwareMidMarker = 0x5A;

// Named pauses of the link protocol, in milliseconds.
inline constexpr std::uint32_t kBytePauseMs = 1;
inline constexpr std::uint32_t kRetryAfterConnectMs = 500;
inline constexpr std::uint32_t kRetryAfterScanMs = 100;
inline constexpr std::uint32_t kFirmwareHeaderPauseMs = 500;
inline constexpr std::uint32_t kGangMidMarkerPauseMs = 250;
inline constexpr std::uint32_t kAfterFirmwareLoadMs = 2000;

// The firmware buffer's capacity: a larger file is refused before it is read.
inline constexpr std::size_t kFirmwareCapacity = 0x3800;
// The gang programmer's firmware is always this long on the wire, padded with 0xFF.
inline constexpr std::size_t kGangFirmwareSize = 4096;
inline constexpr std::size_t kBlockSize = 256;

// The bytes of a single programmer's firmware as sent: three ranges complemented.
std::vector<std::uint8_t> prepareSingleFirmware(std::vector<std::uint8_t> file);
// The gang firmware as sent: the file over 4096 bytes of 0xFF.
std::vector<std::uint8_t> prepareGangFirmware(const std::vector<std::uint8_t>& file);
std::uint32_t byteSum(const std::vector<std::uint8_t>& bytes);

class ProgrammerSession {
  public:
    ProgrammerSession(ProgrammingJob& job, ProgrammerLink& link, Operator& op, Clock& clock);

    // What the last search and version query found; renewed by each.
    std::uint8_t programmerKind() const { return programmerKind_; }
    FirmwareVariant firmwareVariant() const { return firmwareVariant_; }
    std::uint16_t firmwareVersion() const { return firmwareVersion_; }
    bool fwBelow0490() const { return fwBelow0490_; }
    bool fwBelow0501() const { return fwBelow0501_; }
    bool fwBelow0505() const { return fwBelow0505_; }
    bool fwBelow0524() const { return fwBelow0524_; }
    bool fwBelow0601() const { return fwBelow0601_; }
    bool fwBelow0614() const { return fwBelow0614_; }
    bool gangFwBelow0119() const { return gangFwBelow0119_; }
    bool gangFwBelow0145() const { return gangFwBelow0145_; }
    bool gangFwBelow0560() const { return gangFwBelow0560_; }
    // The gang programmer takes the extended download header (firmware 0x0119 or newer).
    bool gangHeaderExtended() const { return !gangFwBelow0119_; }
    // For a port opened without a search: the variant and version a search would have found.
    void assumeFirmware(FirmwareVariant variant, std::uint16_t version) {
        firmwareVariant_ = variant;
        firmwareVersion_ = version;
    }

    // The search stops after identifying the programmer.
    bool identifyOnly() const { return identifyOnly_; }
    void setIdentifyOnly(bool on) { identifyOnly_ = on; }
    // Off: only the remembered port is tried, never a scan (a port named on the command
    // line, where another port may hold another station's programmer).
    void setScanAllowed(bool allowed) { scanAllowed_ = allowed; }
    // FAIL boxes of a first connect that the scan then made good; a front that judges a
    // command by its boxes leaves these out.
    int recoveredFailures() const { return recoveredFailures_; }
    // The last search found no programmer (after its FAIL box).
    bool notFound() const { return notFound_; }

    // The gang socket being served, 1..4; 0 outside gang work.
    std::uint8_t socketNumber() const { return socketNumber_; }
    void setSocketNumber(std::uint8_t socket) { socketNumber_ = socket; }
    // The command byte of the exchange under way, for the debug report of a failure.
    std::uint8_t lastCommand() const { return lastCommand_; }
    void setLastCommand(std::uint8_t value) { lastCommand_ = value; }

    // Where the firmware files lie; empty: the job's working directory (else "."), then, for
    // a file not there, the fallback (the installed firmware directory).
    void setFirmwareDirectory(std::string directory) { firmwareDirectory_ = std::move(directory); }
    void setFirmwareFallbackDirectory(std::string directory) {
        firmwareFallbackDirectory_ = std::move(directory);
    }

    // The last download's storage was verified (on a gang programmer: every unit's).
    bool downloadSucceeded() const { return downloadSucceeded_; }
    void setDownloadSucceeded(bool succeeded) { downloadSucceeded_ = succeeded; }

    // The host stopped reading a reply the programmer may still be sending (the stored-setup
    // report after a differing field): the next connect waits for the line to fall quiet.
    void replyCutShort() { lineMayHoldReply_ = true; }

    // Link wrappers.
    bool sendCommandByte(std::uint8_t value);
    bool sendBlock(const std::uint8_t* data, std::uint32_t count);
    bool receiveByte(std::uint8_t& place);
    bool receiveBlock(std::uint8_t* buffer, std::uint32_t count);
    bool expectAck();
    // The same, with the byte taken from a run of page answers.
    bool receiveByte(TickRun& run, std::uint8_t& place);
    bool expectAck(TickRun& run);
    bool expectGangAck();
    // A byte without a FAIL box when it does not come.
    bool receiveRaw(std::uint8_t& place);
    // Bytes of a wider value, most significant first, each followed by the 1 ms pause.
    bool sendPaced(std::initializer_list<std::uint8_t> bytes);
    // An acknowledge awaited under a longer profile, with the standard profile restored after.
    bool expectAck(const Timeouts& wait);
    bool expectGangAck(const Timeouts& wait);
    void pause(std::uint32_t ms) { clock_.sleepMs(ms); }

    // Searches and queries.
    bool searchProgrammer();
    bool searchGangProgrammer();
    bool readFirmwareVersion();
    bool readGangFirmwareVersion();
    void showProgrammerType();

    // Firmware loads and checks.
    bool updateFirmware();
    bool updateGangFirmware();
    // The version check and, when the version differs, the load of the carried firmware.
    // Failed: the load failed (after its FAIL box), and the command must stop there.
    enum class FirmwareCheck { Current, Reloaded, Failed };
    FirmwareCheck checkFirmwareVersion();
    FirmwareCheck checkGangFirmwareVersion();
    // The gang check as the gang commands use it: a gang programmer that took new firmware
    // is searched again. False when the load or that search failed.
    bool gangFirmwareReady();
    bool reloadFirmware();
    std::string firmwarePath(std::string_view fileName) const;

    ProgrammingJob& job() { return job_; }
    ProgrammerLink& link() { return link_; }
    Operator& op() { return op_; }

  private:
    enum class Connect { Done, NotOpened, NoAnswer };
    bool received(bool ok, std::uint8_t value, std::uint8_t& place);
    bool acknowledged(bool ok, std::uint8_t reply);
    Connect connect();
    bool scan();
    // The detail line of a "not found" box: the port tried, and whether a search followed.
    std::string notFoundDetail(bool scanned);
    // Connect, else scan and connect again; shows every failure.
    bool findAndConnect(std::string_view notFoundText);
    bool finish(bool ok) {
        job_.linkResult = ok ? 1 : 0;
        if (!ok)
            lineMayHoldReply_ = true;
        return ok;
    }
    // Reads a firmware file whole; shows the failure and returns false when it cannot be
    // opened, is empty or is longer than limit.
    bool readFirmwareFile(const std::string& path, std::size_t limit,
                          std::vector<std::uint8_t>& bytes);

    ProgrammingJob& job_;
    ProgrammerLink& link_;
    Operator& op_;
    Clock& clock_;
    // Set by a reply cut short and by every failed exchange, cleared by the next connect.
    bool lineMayHoldReply_ = false;

    std::uint8_t programmerKind_ = 0;
    FirmwareVariant firmwareVariant_ = FirmwareVariant::None;
    std::uint16_t firmwareVersion_ = 0;
    bool fwBelow0490_ = false;
    bool fwBelow0501_ = false;
    bool fwBelow0505_ = false;
    bool fwBelow0524_ = false;
    bool fwBelow0601_ = false;
    bool fwBelow0614_ = false;
    bool gangFwBelow0119_ = false;
    bool gangFwBelow0145_ = false;
    bool gangFwBelow0560_ = false;
    bool identifyOnly_ = false;
    bool scanAllowed_ = true;
    int recoveredFailures_ = 0;
    bool notFound_ = false;
    std::uint8_t socketNumber_ = 0;
    std::uint8_t lastCommand_ = 0;
    std::string firmwareDirectory_;
    std::string firmwareFallbackDirectory_ = installedFirmwareDirectory();
    bool downloadSucceeded_ = false;
};

}  // namespace tarnel

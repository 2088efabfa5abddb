#include "operations/programmer_info.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "core/chip_catalogue.h"
#include "core/config_model.h"
#include "link/programmer_link.h"
#include "operations/download.h"
#include "operations/step_helpers.h"

namespace tarnel {

namespace {

constexpr std::string_view kInformationCaption = "Programmer Information";
constexpr std::string_view kNotDownloaded = "Programmer has not been downloaded yet !";
constexpr std::string_view kGangNotDownloaded = "Gang Programmer has not been downloaded yet !";
constexpr std::uint8_t kNothingStored = 0xFF;
constexpr std::uint8_t kVerifyOnlyByte = 0xFF;

constexpr std::uint8_t kFlagAprom = 0x08;
constexpr std::uint8_t kFlagDataFlash = 0x04;
constexpr std::uint8_t kFlagLdrom = 0x02;
constexpr std::uint8_t kFlagConfig = 0x01;

[[gnu::format(printf, 1, 2)]] std::string format(const char* pattern, ...) {
    char text[256];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

// Reads the reply field by field; after the first failure (whose wrapper has shown its FAIL
// box) every later read is skipped.
class ReplyReader {
  public:
    explicit ReplyReader(ProgrammerSession& session) : session_(session) {}
    bool ok() const { return ok_; }

    std::uint8_t byte() {
        std::uint8_t value = 0;
        if (ok_)
            ok_ = session_.receiveByte(value);
        return value;
    }
    template <std::size_t N>
    std::array<std::uint8_t, N> bytes() {
        std::array<std::uint8_t, N> values{};
        if (ok_)
            ok_ = session_.receiveBlock(values.data(), N);
        return values;
    }
    // A NUL-terminated text in a field of the given width; never read past the field.
    std::string text(std::size_t width) {
        std::vector<std::uint8_t> field(width, 0);
        if (ok_)
            ok_ = session_.receiveBlock(field.data(), static_cast<std::uint32_t>(width));
        const auto end = std::find(field.begin(), field.end(), 0);
        return std::string(field.begin(), end);
    }

  private:
    ProgrammerSession& session_;
    bool ok_ = true;
};

// A 16-digit number as packed BCD, most significant digit pair first.
void bcdValue(const std::array<std::uint8_t, 8>& wire, std::uint32_t& high, std::uint32_t& low) {
    Bcd8 bcd{};
    std::reverse_copy(wire.begin(), wire.end(), bcd.begin());
    serialFromBcd(bcd, high, low);
}

// The catalogue's part number for a stored part, or the text the programmer sent when the
// catalogue names no part at that index.
std::string shownPartNumber(const StoredInformation& info, const ChipCatalogue& catalogue) {
    const std::string_view number = catalogue.partAt(info.partIndex).partNumber;
    if ((number.empty() || number == "-") && !info.partNumberText.empty())
        return info.partNumberText;
    return std::string(number);
}

// "Code Size" / "Data Size" line of a 3-byte end address: four digits when the top byte is 0.
std::string sizeLine(const char* what, const std::array<std::uint8_t, 3>& last) {
    if (last[0] == 0) {
        const int end = last[1] << 8 | last[2];
        return format("       %s Size:\t%d Bytes (EndAddr= 0x%04X)\n\n", what, end + 1, end);
    }
    const int end = last[0] << 16 | last[1] << 8 | last[2];
    return format("       %s Size:\t%d Bytes (EndAddr= 0x%05X)\n\n", what, end + 1, end);
}

std::string ldromSizeLine(const std::array<std::uint8_t, 2>& last) {
    const int end = last[0] << 8 | last[1];
    return format("       Code Size:\t%d Bytes (EndAddr= 0x%04X)\n\n", end + 1, end);
}

std::string fileNameLine(const std::string& name) {
    return "       File Name:\t" + name + "\n\n";
}

std::string checksum(const std::array<std::uint8_t, 2>& sum) {
    return format("       Checksum:\t0x%02X%02X", sum[0], sum[1]);
}

std::string apromSection(const StoredInformation& info) {
    return "*** Downloaded code file for APROM\n\n" + fileNameLine(info.apromName) +
           sizeLine("Code", info.apromLast) + checksum(info.apromSum) + "\n\n";
}

std::string dataFlashHead(const StoredInformation& info) {
    return "*** Downloaded data file for DataFlash\n\n" + fileNameLine(info.dataFlashName);
}

std::string typeLine(std::string_view kind, bool gangMode) {
    return "<<<  Programmer Type:  " + std::string(kind) + (gangMode ? " Gang" : "") +
           " Programmer";
}

// The view for the stored CONFIG words; None when the part has no view here.
ConfigLayout storedConfigLayout(std::uint32_t index, const PartRecord& part) {
    if (!isIcpRow(index))
        return part.isPike ? ConfigLayout::Pike : ConfigLayout::Ferro;
    const ConfigLayout layout = configLayoutOf(part);
    return layout == ConfigLayout::KiteU ? ConfigLayout::Kite : layout;
}

// 0xC6, its pause and acknowledge, and the status byte; false after the box that says why.
bool requestInformation(ProgrammerSession& session, ReplyReader& reply) {
    session.setLastCommand(command::kProgrammerInformation);
    if (!session.sendCommandByte(command::kProgrammerInformation))
        return false;
    session.pause(kBytePauseMs);
    if (!session.expectAck())
        return false;
    const std::uint8_t status = reply.byte();
    if (!reply.ok())
        return false;
    if (status != 0) {
        showWarning(session.op(), kNotDownloaded);
        return false;
    }
    return true;
}

void showConfig(Operator& op, ReadBackState& readBack, ConfigLayout layout) {
    if (layout == ConfigLayout::None)
        return;
    op.showConfigView(layout, readBack.chipConfigPartIndex,
                      configBytesFromStream(readBack.chipConfig));
}

bool oldFormatInformation(ProgrammerSession& session, ReadBackState& readBack) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    ReplyReader reply(session);
    if (!requestInformation(session, reply))
        return false;
    StoredInformation info;
    info.reportedIndex = info.partIndex = reply.byte();
    info.apromName = reply.text(128);
    info.apromLast = reply.bytes<3>();
    info.apromSum = reply.bytes<2>();
    const bool full = isIcpRow(info.partIndex) || job.catalogue.partAt(info.partIndex).legacyConfig;
    if (full) {
        info.dataFlashName = reply.text(64);
        const auto last = reply.bytes<2>();
        info.dataFlashLast = {0, last[0], last[1]};
        info.dataFlashSum = reply.bytes<2>();
        info.config = reply.bytes<8>();
        info.storedFlags = reply.byte();
    }
    if (!reply.ok())
        return false;
    readBack.chipConfig = info.config;
    readBack.chipConfigPartIndex = info.partIndex;
    op.setStatus("Ready...");
    op.showMessageBox(kInformationCaption,
                      oldFormatInformationText(info, job.catalogue, job.gangMode), BoxIcon::None);
    if (!full)
        return true;
    if (info.storedFlags & kFlagConfig)
        showConfig(op, readBack, ConfigLayout::BitTable);
    else
        op.showMessageBox("CONFIG Info", "*** CONFIGs are kept unchanged.", BoxIcon::None);
    return true;
}

// The gang programmer's part: 0xCB, the stored-data byte (newer gang firmware) and socket #1's
// sync byte; the link then reaches that unit.
bool connectGangUnit(ProgrammerSession& session) {
    if (!session.searchGangProgrammer() || !session.readGangFirmwareVersion())
        return false;
    session.setLastCommand(command::kGangInformation);
    if (!session.sendCommandByte(command::kGangInformation))
        return false;
    session.pause(kBytePauseMs);
    if (!session.expectGangAck())
        return false;
    if (session.gangHeaderExtended()) {
        std::uint8_t stored = 0;
        if (!session.receiveByte(stored))
            return false;
        if (stored == kNothingStored) {
            showWarning(session.op(), kGangNotDownloaded);
            return false;
        }
    }
    return receiveGangSync(session, 1, true);
}

}  // namespace

std::string informationText(const StoredInformation& info, const ChipCatalogue& catalogue,
                            bool gangMode) {
    const PartRecord& part = catalogue.partAt(info.partIndex);
    const bool ispPart = !isIcpRow(info.partIndex);
    std::string text;
    if (ispPart)
        text = typeLine("ISP", gangMode) + " (for 8051)  >>>\n\n";
    else if (part.isSonra)
        text = typeLine("ICP", gangMode) + " (for Sonra)  >>>\n\n";
    else if (part.is32Bit)
        text = typeLine("ICP", gangMode) + " (for Vexa)  >>>\n\n";
    else
        text = typeLine("ICP", gangMode) + " (for 8051)  >>>\n\n";
    text += "*** Part No.:  " + shownPartNumber(info, catalogue) + "\n\n";

    const std::uint8_t flags = info.storedFlags;
    if (!ispPart || part.legacyConfig) {
        if (flags & kFlagAprom)
            text += apromSection(info);
        if (flags & kFlagDataFlash) {
            text += dataFlashHead(info) + sizeLine("Data", info.dataFlashLast) +
                    checksum(info.dataFlashSum) + "\n\n";
        }
        if (!ispPart && (flags & kFlagLdrom)) {
            text += "*** Downloaded code file for LDROM\n\n" + fileNameLine(info.ldromName) +
                    ldromSizeLine(info.ldromLast) + checksum(info.ldromSum) + "\n\n";
        }
    } else {
        text += apromSection(info);
    }

    // The closing sections are separated by a blank line, with none after the last.
    std::vector<std::string> closing;
    if (info.usageHigh != 0xFF || info.usageLow != 0xFF) {
        closing.push_back(
            "*** Limited usage times\n\n" +
            format("       Available times:\t%d", info.usageHigh << 8 | info.usageLow));
    }
    if (!ispPart && gangMode) {
        closing.push_back(std::string("*** Gang Mode Setting\n\n") +
                          (info.gangVerifyOnly ? "       Verify Mode (do Verify only)"
                                               : "       Normal Mode (do Program and Verify)"));
    }
    if (!ispPart && info.serialEnabled) {
        closing.push_back(
            "*** Serial Number Programming\n\n" +
            format("       Address:\t0x%06X\n\n", info.serialAddress) +
            format("       Increment:\t%08u,%08u\n\n", info.incrementHigh, info.incrementLow) +
            format("       S/N:\t\t%08u,%08u", info.serialHigh, info.serialLow));
    }
    for (std::size_t i = 0; i < closing.size(); ++i)
        text += (i == 0 ? "" : "\n\n") + closing[i];
    return text;
}

std::string oldFormatInformationText(const StoredInformation& info, const ChipCatalogue& catalogue,
                                     bool gangMode) {
    const PartRecord& part = catalogue.partAt(info.partIndex);
    const bool icpPart = isIcpRow(info.partIndex);
    std::string text = typeLine(icpPart ? "ICP" : "ISP", gangMode) + "  >>>\n\n";
    text += "*** Part No.:  " + shownPartNumber(info, catalogue) + "\n\n";
    if (icpPart || part.legacyConfig) {
        const std::uint8_t flags = info.storedFlags;
        if (flags & (kFlagAprom | kFlagLdrom))
            text += apromSection(info);
        if (flags & (kFlagDataFlash | kFlagLdrom)) {
            // The older reply's two-byte end address is held as {0, high, low}.
            text += dataFlashHead(info) + sizeLine("Data", info.dataFlashLast) +
                    checksum(info.dataFlashSum);
        }
    } else {
        text += apromSection(info);
    }
    return text;
}

bool programmerInformation(ProgrammerSession& session, ReadBackState& readBack) {
    ProgrammingJob& job = session.job();
    Operator& op = session.op();
    if (job.gangMode && !connectGangUnit(session))
        return false;

    bool found = false;
    {
        session.setIdentifyOnly(true);
        steps::OnExit restore([&session] { session.setIdentifyOnly(false); });
        found = session.searchProgrammer();
    }
    if (!found || !session.readFirmwareVersion())
        return false;
    if (session.fwBelow0490())
        return oldFormatInformation(session, readBack);

    ReplyReader reply(session);
    if (!requestInformation(session, reply))
        return false;
    StoredInformation info;
    if (session.fwBelow0501()) {
        info.reportedIndex = reply.byte();
    } else {
        const std::uint8_t low = reply.byte();
        info.reportedIndex = static_cast<std::uint32_t>(reply.byte() << 8 | low);
    }
    if (!session.fwBelow0505())
        info.partNumberText = reply.text(16);
    info.apromName = reply.text(64);
    info.apromLast = reply.bytes<3>();
    info.apromSum = reply.bytes<2>();
    info.dataFlashName = reply.text(64);
    info.dataFlashLast = reply.bytes<3>();
    info.dataFlashSum = reply.bytes<2>();
    info.ldromName = reply.text(64);
    info.ldromLast = reply.bytes<2>();
    info.ldromSum = reply.bytes<2>();
    info.config = reply.bytes<8>();
    info.storedFlags = reply.byte();
    if (!session.fwBelow0524()) {
        info.usageHigh = reply.byte();
        info.usageLow = reply.byte();
    }
    if (!session.fwBelow0601())
        info.gangVerifyOnly = reply.byte() == kVerifyOnlyByte;
    if (!session.fwBelow0614()) {
        info.serialEnabled = reply.byte() == 0;
        const auto address = reply.bytes<3>();
        info.serialAddress = std::uint32_t{address[0]} << 16 | address[1] << 8 | address[2];
        bcdValue(reply.bytes<8>(), info.serialHigh, info.serialLow);
        bcdValue(reply.bytes<8>(), info.incrementHigh, info.incrementLow);
    }
    if (!reply.ok())
        return false;

    // The part number names the stored part more surely than the index; an empty text names
    // nothing.
    info.partIndex = info.reportedIndex;
    if (!info.partNumberText.empty()) {
        if (const auto row =
                job.catalogue.findPart(info.partNumberText, isIcpRow(info.reportedIndex)))
            info.partIndex = *row;
    }
    readBack.chipConfig = info.config;
    readBack.chipConfigPartIndex = info.partIndex;

    resetProgress(op);
    op.showMessageBox(kInformationCaption, informationText(info, job.catalogue, job.gangMode),
                      BoxIcon::None);

    const PartRecord& part = job.catalogue.partAt(info.partIndex);
    if (info.storedFlags & kFlagConfig) {
        // An index the catalogue does not hold has no view to show the words in.
        if (ChipCatalogue::contains(info.partIndex))
            showConfig(op, readBack, storedConfigLayout(info.partIndex, part));
    } else if (isIcpRow(info.partIndex)) {
        op.showMessageBox("CONFIG Setting",
                          "CONFIGs won't be programmed and will become default value !",
                          BoxIcon::None);
    } else if (part.legacyConfig) {
        op.showMessageBox("CONFIG Setting", "CONFIGs won't be programmed and will keep unchanged !",
                          BoxIcon::None);
    }
    return true;
}

}  // namespace tarnel

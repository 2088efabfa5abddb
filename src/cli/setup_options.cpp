#include "cli/setup_options.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <map>

#include "app/advanced_settings.h"
#include "cli/cli_context.h"
#include "core/config_model.h"
#include "core/part_lists.h"
#include "image/image_loader.h"

namespace tarnel::cli {

namespace {

const std::map<std::string, std::uint8_t> kTypes = {
    {"icp", kTypeIcp}, {"isp", kTypeIsp}, {"com", kTypeIspByCom}};

int usage(const std::string& message) {
    std::cerr << "tarnel: " << message << "\n";
    return kExitUsage;
}

// An advanced value as the dialog takes it: a refused value is a usage error; a clamped one
// is reported and used, as the dialog uses it.
int applyValue(const SetupValueCheck& check) {
    if (!check.stored)
        return usage(check.error);
    if (!check.error.empty())
        std::cerr << "tarnel: " << check.error << "\n";
    return kExitPass;
}

// A S/N or increment holds at most as many digits as its field takes.
int applyDigits(const char* option, const std::string& text,
                SetupValueCheck (*set)(ProgrammingJob&, std::string_view), ProgrammingJob& job) {
    if (text.size() > static_cast<std::size_t>(kSerialFieldLength))
        return usage(std::string(option) + " takes at most 16 digits");
    return applyValue(set(job, text));
}

// An input that exists but is no regular file (a FIFO would hang its reader) is refused
// before anything else; a missing one is left to the reload, which says so in its words.
bool regularOrMissing(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !std::filesystem::exists(status) || std::filesystem::is_regular_file(status);
}

// An unsigned number of at most `max`, decimal, or hexadecimal when hex is set (an "0x"
// prefix is accepted there).
bool parseNumber(std::string text, bool hex, std::uint64_t max, std::uint32_t& value) {
    if (hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text = text.substr(2);
    }
    if (text.empty() || text.size() > 10)
        return false;
    std::uint64_t result = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return false;
        result = result * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    }
    if (result > max)
        return false;
    value = static_cast<std::uint32_t>(result);
    return true;
}

std::optional<std::uint32_t> resolvePart(const ProgrammingJob& job, const std::string& text) {
    if (text.empty())
        return job.icpMode ? job.savedIcpPartIndex : job.savedIspPartIndex;
    std::uint32_t index = 0;
    if (parseNumber(text, false, kLastPartIndex, index)) {
        // An index must lie in the rows the programmer type lists.
        if (job.icpMode != isIcpRow(index))
            return std::nullopt;
        return index;
    }
    return job.catalogue.findPart(ChipCatalogue::nameAliases(text), job.icpMode);
}

}  // namespace

void addSetupOptions(CLI::App* command, SetupOptions& o) {
    command->add_option("--part", o.part, "Part number or catalogue index");
    command->add_option("--type", o.type, "Programmer type: icp, isp or com (default icp)")
        ->check(CLI::IsMember({"icp", "isp", "com"}));
    command->add_flag("--gang", o.gang, "Gang programmer");
    command->add_option("--aprom", o.aprom, "APROM image (Intel HEX or binary)");
    command->add_option("--dataflash", o.dataFlash, "DataFlash image (binary)");
    command->add_option("--ldrom", o.ldrom, "LDROM image (Intel HEX or binary)");
    command->add_option("--config0", o.config0,
                        "CONFIG0 word in hexadecimal (8051 parts: CONFIG3..CONFIG0)");
    command->add_option("--config1", o.config1,
                        "CONFIG1 word in hexadecimal (8051 parts: CONFIG7..CONFIG4)");
    command->add_flag("--no-config", o.noConfig, "Do not program the CONFIG words");
    command->add_option("--dataflash-pages", o.dataFlashPages,
                        "Size of a DataFlash inside APROM, in pages");
    command->add_option("--usage-times", o.usageTimes, "Limit usage to 1..60000 times");
    command->add_option("--serial", o.serialNumber, "Program this serial number (up to 16 digits)");
    command->add_option("--serial-increment", o.serialIncrement,
                        "Serial number increment (up to 16 digits, default 1)");
    command->add_option("--serial-address", o.serialAddress,
                        "APROM address of the serial number, hexadecimal (0..1FFF8)");
    command->add_option("--chip-counter", o.chipCounter, "Count chips from this value");
    // Each on/off setting has both ways; one not given keeps what the settings file holds.
    auto setting = [command](const std::string& on, const std::string& off,
                             std::optional<bool>& value, const std::string& onText,
                             const std::string& offText) {
        command->add_flag_callback(
            on, [&value] { value = true; }, onText);
        command->add_flag_callback(
            off, [&value] { value = false; }, offText);
    };
    setting("--count-down", "--count-up", o.countDown, "The chip counter counts down",
            "The chip counter counts up");
    setting("--fast-protocol,--fast", "--normal-protocol", o.fastProtocol,
            "Fast UART protocol (ISP by COM Port)", "Normal UART protocol (ISP by COM Port)");
    setting("--verify-only", "--program", o.verifyOnly, "Gang runs verify only",
            "Gang runs program and verify");
}

int checkInputFiles(std::initializer_list<std::pair<const char*, const std::string*>> inputs) {
    for (const auto& [option, path] : inputs) {
        if (!path->empty() && !regularOrMissing(*path))
            return usage(std::string(option) + " " + *path + " is not a regular file");
    }
    return kExitPass;
}

int applySetupOptions(const SetupOptions& o, ProgrammingJob& job, Operator& op) {
    if (const int status = checkInputFiles(
            {{"--aprom", &o.aprom}, {"--dataflash", &o.dataFlash}, {"--ldrom", &o.ldrom}});
        status != kExitPass)
        return status;
    const auto type = kTypes.find(o.type);
    if (type == kTypes.end())
        return usage("unknown programmer type \"" + o.type + "\"");
    if (o.gang && type->second == kTypeIspByCom) {
        return usage("--gang cannot be used with --type com");
    }
    job.programmerType = static_cast<std::uint8_t>(type->second | (o.gang ? kTypeGang : 0));
    job.refreshDerivedState();
    applyLegacyListMask(job);

    const auto index = resolvePart(job, o.part);
    if (!index || job.catalogue.partAt(*index).partNumber.empty() ||
        job.catalogue.isSeparator(*index)) {
        return usage("no part \"" + o.part + "\" for programmer type " + o.type);
    }
    job.partIndex = *index;
    job.refreshDerivedState();
    fillFamilyList(job);
    const PartRecord& part = job.part();

    // The item boxes as the window sets them for this part.
    job.updateAprom = false;
    job.updateDataFlash = false;
    job.updateLdrom = false;
    job.updateConfig = job.icpMode && (part.is32Bit || part.isPike);
    job.dataFlashTabShown = part.hasDataFlash;
    const bool configOffered = job.icpMode || part.legacyConfig;

    if (!o.config0.empty() || !o.config1.empty()) {
        if (o.noConfig)
            return usage("--no-config cannot be used with --config0 or --config1");
        if (!configOffered)
            return usage("this part has no CONFIG words for this type");
        std::uint32_t word = 0;
        if (!o.config0.empty()) {
            if (!parseNumber(o.config0, true, 0xFFFFFFFF, word)) {
                return usage("--config0 needs a hexadecimal word, not \"" + o.config0 + "\"");
            }
            setConfig0Word(job.configBytes, word);
        }
        if (!o.config1.empty()) {
            if (!parseNumber(o.config1, true, 0xFFFFFFFF, word)) {
                return usage("--config1 needs a hexadecimal word, not \"" + o.config1 + "\"");
            }
            setConfig1Word(job.configBytes, word);
        }
        job.updateConfig = true;
    }
    if (o.noConfig)
        job.updateConfig = false;
    if (!o.dataFlashPages.empty() &&
        !parseNumber(o.dataFlashPages, false, 0xFFFF, job.dataFlashPages)) {
        return usage("--dataflash-pages needs a number of pages");
    }

    if (!o.aprom.empty()) {
        assignImageFile(job.imageAprom, ImageRegion::Aprom, o.aprom);
        job.updateAprom = true;
    }
    if (!o.dataFlash.empty()) {
        if (!part.hasDataFlash)
            return usage("this part has no DataFlash");
        assignImageFile(job.imageDataFlash, ImageRegion::DataFlash, o.dataFlash);
        job.updateDataFlash = true;
    }
    if (!o.ldrom.empty()) {
        if (!job.icpMode || !part.hasLdrom)
            return usage("no LDROM for this part and type");
        assignImageFile(job.imageLdrom, ImageRegion::Ldrom, o.ldrom);
        job.updateLdrom = true;
    }

    if (!o.usageTimes.empty()) {
        if (const int status = applyValue(setUsageTimes(job, o.usageTimes)); status != kExitPass)
            return status;
        job.usageLimitEnabled = true;
    }
    if (!o.serialNumber.empty()) {
        if (const int status = applyDigits("--serial", o.serialNumber, setSerialNumber, job);
            status != kExitPass)
            return status;
        job.serialEnabled = true;
    }
    if (!o.serialIncrement.empty()) {
        if (const int status =
                applyDigits("--serial-increment", o.serialIncrement, setSerialIncrement, job);
            status != kExitPass)
            return status;
    }
    if (!o.serialAddress.empty()) {
        std::string_view address = o.serialAddress;
        if (address.size() > 2 && address[0] == '0' && (address[1] == 'x' || address[1] == 'X'))
            address.remove_prefix(2);
        if (const int status = applyValue(setSerialAddress(job, address)); status != kExitPass)
            return status;
    }
    if (!o.chipCounter.empty()) {
        if (const int status = applyValue(setChipCounter(job, o.chipCounter)); status != kExitPass)
            return status;
        job.chipCounterEnabled = true;
    }
    job.chipCounterDown = o.countDown.value_or(job.chipCounterDown);
    job.uartFastProtocol = o.fastProtocol.value_or(job.uartFastProtocol);
    job.gangVerifyOnly = o.verifyOnly.value_or(job.gangVerifyOnly);

    return reloadImages(job, op) ? kExitPass : kExitInput;
}

}  // namespace tarnel::cli

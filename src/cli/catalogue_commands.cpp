// tarnel parts / tarnel part: the chip catalogue as the window's lists show it.

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/config_editor.h"
#include "cli/cli_context.h"
#include "core/config_model.h"
#include "core/part_lists.h"
#include "core/programming_job.h"

namespace tarnel::cli {

namespace {

const std::map<std::string, std::uint8_t> kTypeNames = {
    {"icp", kTypeIcp}, {"isp", kTypeIsp}, {"com", kTypeIspByCom}};

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// A job in the given programmer type, as the window sets it up when that type is chosen.
std::unique_ptr<ProgrammingJob> jobForType(std::uint8_t type) {
    auto job = std::make_unique<ProgrammingJob>();
    job->programmerType = type;
    job->partIndex = type == kTypeIcp ? job->savedIcpPartIndex : job->savedIspPartIndex;
    job->refreshDerivedState();
    applyLegacyListMask(*job);
    return job;
}

void printLists(ProgrammingJob& job) {
    const ListState families = fillFamilyList(job);
    std::cout << "Family list" << (families.enabled ? "" : " (disabled)") << ":\n";
    for (std::uint32_t i = 0; i < families.entries.size(); ++i) {
        std::cout << (i == families.selected ? "  * " : "    ") << families.entries[i] << "\n";
    }
    const ListState parts = fillPartList(job);
    const std::uint32_t first = job.icpMode ? groupBase(*groupOfFamilyText(job.categoryStr)) : 0;
    std::cout << "Part list (" << (job.icpMode ? job.categoryStr : std::string("legacy")) << "):\n";
    for (std::uint32_t i = 0; i < parts.entries.size(); ++i) {
        std::printf("%s%4u  %s\n", i == parts.selected ? "  * " : "    ", first + i,
                    parts.entries[i].c_str());
    }
}

int runParts(const std::string& type, const std::string& family) {
    auto job = jobForType(kTypeNames.at(type));
    if (!family.empty()) {
        const auto group = groupOfFamilyText(family);
        if (!group) {
            std::cerr << "tarnel parts: unknown family \"" << family
                      << "\" (one of \"8051 Family\", \"Vexa_Kite\", \"Vexa_Lark\", "
                         "\"Vexa_Wren\", \"Vexa_Teal\", \"Sonra Family\", \"Marl Family\")\n";
            return kExitUsage;
        }
        if (!job->icpMode) {
            std::cerr << "tarnel parts: the family list is used only with --type icp\n";
            return kExitUsage;
        }
        if (*group == FamilyGroup::Family8051) {
            // Not an entry of the family list: its parts are reached by restoring one.
            job->partIndex = groupBase(*group);
            job->refreshDerivedState();
        } else {
            fillFamilyList(*job);
            selectFamily(*job, familyPosition(*group));
        }
    }
    printLists(*job);
    return kExitPass;
}

std::optional<std::uint32_t> resolvePart(const ProgrammingJob& job, const std::string& text,
                                         bool typeGiven) {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        // Digits only: a catalogue index. One too large for any row is no part, not a
        // number taken modulo the word size.
        std::uint64_t index = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
        if (error != std::errc{} || end != text.data() + text.size() || index > kLastPartIndex ||
            !ChipCatalogue::contains(static_cast<std::uint32_t>(index)))
            return std::nullopt;
        return static_cast<std::uint32_t>(index);
    }
    const std::string name = ChipCatalogue::nameAliases(text);
    if (auto found = job.catalogue.findPart(name, job.icpMode))
        return found;
    if (!typeGiven) {
        // Without a type, look among the legacy rows too, with their real numbers.
        ChipCatalogue unmasked;
        return unmasked.findPart(name, false);
    }
    return std::nullopt;
}

void printPart(ProgrammingJob& job) {
    const PartRecord& p = job.part();
    const auto flag = [](bool b) { return b ? "1" : "0"; };
    std::cout << "index              " << job.partIndex << "\n"
              << "partNumber         " << p.partNumber << "\n"
              << "family             " << familyText(groupOf(job.partIndex)) << "\n"
              << "legacyConfig       " << flag(p.legacyConfig) << "\n"
              << "is32Bit            " << flag(p.is32Bit) << "\n"
              << "isLark             " << flag(p.isLark) << "\n"
              << "isWren             " << flag(p.isWren) << "\n"
              << "isTeal             " << flag(p.isTeal) << "\n"
              << "isTern             " << flag(p.isTern) << "\n"
              << "isPike             " << flag(p.isPike) << "\n"
              << "isSonra            " << flag(p.isSonra) << "\n"
              << "isTQ17A            " << flag(p.isTQ17A) << "\n"
              << "algoFlag           " << hex(p.algoFlag, 2) << "\n"
              << "hasDataFlash       " << flag(p.hasDataFlash) << "\n"
              << "hasLdrom           " << flag(p.hasLdrom) << "\n"
              << "legacyChipCode     " << hex(p.legacyChipCode, 2) << "\n"
              << "apromLastAddress   " << hex(p.apromLastAddress, 5) << "\n"
              << "apromPages         " << hex(p.apromPages, 2) << "\n"
              << "dataFlashStartPage " << hex(p.dataFlashStartPage, 2) << "\n"
              << "dataFlashStart     " << hex(p.dataFlashStart, 5) << "\n"
              << "dataFlashSize      " << hex(p.dataFlashSize, 5) << "\n"
              << "ldromLastAddress   " << hex(p.ldromLastAddress, 4) << "\n"
              << "dataFlashInAprom   " << flag(p.dataFlashInAprom) << "\n"
              << "algoParamA         " << int{p.algoParamA} << "\n"
              << "algoParamB         " << int{p.algoParamB} << "\n"
              << "deviceId           " << hex(p.deviceId & 0xFFFF, 4) << "\n"
              << "algoParamC         " << int{p.algoParamC} << "\n"
              << "algoParamD         " << hex(p.algoParamD, 2) << "\n"
              << "config0Layout      " << int{p.config0Layout} << "\n"
              << "config1Layout      " << int{p.config1Layout} << "\n";
    for (int i = 0; i < 4; ++i) {
        if (!p.clockSourceText[static_cast<std::size_t>(i)].empty()) {
            std::cout << "clockSourceText[" << i << "] "
                      << p.clockSourceText[static_cast<std::size_t>(i)] << "\n";
        }
    }

    const ConfigLayout layout = configLayoutOf(p);
    std::cout << "CONFIG layout      " << layoutName(layout) << "\n";
    if (isWordLayout(layout) || p.is32Bit) {
        std::cout << "default CONFIG0    " << hex(config0Word(job.configBytes), 8) << "\n"
                  << "default CONFIG1    " << hex(config1Word(job.configBytes), 8) << "\n";
    } else {
        std::cout << "default CONFIG     ";
        for (int n = 0; n < 4; ++n) {
            std::cout << "CONFIG" << n << "=" << hex(configByte(job.configBytes, n), 2)
                      << (n < 3 ? " " : "\n");
        }
    }
    std::cout << "dataFlashPages     " << job.dataFlashPages << "\n";
    if (layout == ConfigLayout::BitTable && bitTableDecodingOf(p) != nullptr) {
        const ConfigDescription d =
            describeConfig(configByte(job.configBytes, 0), configByte(job.configBytes, 1), p);
        std::cout << "Clock Source:      " << d.clockSource << "\n"
                  << "Brownout Voltage:  " << d.brownOutVoltage << "\n";
    }
}

// A hexadecimal CONFIG word as given on the command line.
bool parseWord(const std::string& text, std::uint32_t& word) {
    if (text.empty())
        return false;
    std::size_t used = 0;
    try {
        const unsigned long value = std::stoul(text, &used, 16);
        if (used != text.size() || value > 0xFFFFFFFFul)
            return false;
        word = static_cast<std::uint32_t>(value);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

int runPart(const std::string& number, const std::string& type, bool typeGiven,
            const std::string& config0, const std::string& config1) {
    auto job = jobForType(kTypeNames.at(type));
    const auto index = resolvePart(*job, number, typeGiven);
    if (!index || job->catalogue.partAt(*index).partNumber.empty()) {
        std::cerr << "tarnel part: no part \"" << number << "\" in the catalogue"
                  << (typeGiven ? " for this programmer type" : "") << "\n";
        return kExitUsage;
    }
    if (!typeGiven && !isIcpRow(*index) && job->icpMode) {
        // A legacy part: show it as the ISP programmer type would use it.
        job = jobForType(isMaskedLegacyRow(*index) ? kTypeIspByCom : kTypeIsp);
    }
    job->partIndex = *index;
    job->refreshDerivedState();
    std::uint32_t word = 0;
    for (const auto& [text, name] : {std::pair{&config0, "--config0"}, {&config1, "--config1"}}) {
        if (text->empty())
            continue;
        if (!parseWord(*text, word)) {
            std::cerr << "tarnel part: " << name << " takes a hexadecimal word, not \"" << *text
                      << "\"\n";
            return kExitUsage;
        }
        (text == &config0 ? setConfig0Word : setConfig1Word)(job->configBytes, word);
    }
    printPart(*job);
    if (!config0.empty() || !config1.empty()) {
        job->catalogue.setLegacyListMasked(false);
        std::cout << "CONFIG as the editor shows it:\n";
        for (const std::string& line : describeConfigView(*job, job->partIndex, job->configBytes)) {
            std::cout << "  " << line << "\n";
        }
    }
    return kExitPass;
}

}  // namespace

void addCatalogueCommands(CLI::App& app, CliContext& context) {
    auto* parts = app.add_subcommand("parts", "Show the family list and the part list");
    auto type = std::make_shared<std::string>("icp");
    auto family = std::make_shared<std::string>();
    parts->add_option("--type", *type, "Programmer type: icp, isp or com (default icp)")
        ->check(CLI::IsMember({"icp", "isp", "com"}));
    parts->add_option("--family", *family, "Family text, e.g. \"Vexa_Teal\"");
    parts->callback([&context, type, family] { context.exitStatus = runParts(*type, *family); });

    auto* part =
        app.add_subcommand("part", "Show one catalogue row, its CONFIG layout and defaults");
    auto number = std::make_shared<std::string>();
    auto partType = std::make_shared<std::string>("icp");
    part->add_option("NUMBER", *number, "Part number or catalogue index")->required();
    auto* typeOption =
        part->add_option("--type", *partType, "Programmer type: icp, isp or com (default icp)")
            ->check(CLI::IsMember({"icp", "isp", "com"}));
    auto config0 = std::make_shared<std::string>();
    auto config1 = std::make_shared<std::string>();
    part->add_option("--config0", *config0, "CONFIG0 word (hexadecimal) to decode");
    part->add_option("--config1", *config1, "CONFIG1 word (hexadecimal) to decode");
    part->callback([&context, number, partType, typeOption, config0, config1] {
        context.exitStatus =
            runPart(*number, *partType, typeOption->count() > 0, *config0, *config1);
    });
}

}  // namespace tarnel::cli

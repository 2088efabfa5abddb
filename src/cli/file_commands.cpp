// tarnel hex2bin / tarnel project show / tarnel project save: image and project files.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "cli/cli_context.h"
#include "cli/console_operator.h"
#include "cli/printable.h"
#include "cli/setup_options.h"
#include "core/atomic_file.h"
#include "core/config_model.h"
#include "core/page_buffer.h"
#include "image/hex_converter.h"
#include "image/image_loader.h"
#include "image/project_file.h"

namespace tarnel::cli {

namespace {

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string serialText(std::uint32_t high, std::uint32_t low) {
    char text[24];
    std::snprintf(text, sizeof text, "%08u%08u", high, low);
    return text;
}

int runHexToBinary(const std::string& input, const std::string& output) {
    ConsoleOperator op;
    PageBuffer buffer(kImageCapacity);
    const std::span<std::uint8_t> image = buffer.bytes();
    // The text is converted as it is read, so only one piece of it is ever held.
    HexStreamConverter converter(0x00, image, op);
    if (const ReadResult result = feedHexFile(input, converter); result != ReadResult::Ok) {
        std::cerr << "tarnel hex2bin: " << describeReadFailure(result, input) << "\n";
        return kExitInput;
    }
    std::uint32_t length = 0;
    HexFailure failure;
    if (!converter.finish(length, &failure)) {
        std::cerr << "Hex_to_Bin conversion failed ! (" << describeHexFailure(failure) << ")\n";
        return kExitInput;
    }
    const auto bytes = image.first(length);
    std::string error;
    if (!writeFileAtomically(output, bytes, &error)) {
        std::cerr << "tarnel hex2bin: " << error << "\n";
        return kExitInput;
    }
    std::uint32_t sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    std::cout << "Length:   " << length << " Bytes\n"
              << "Checksum: " << hex(sum, 8) << "\n";
    return kExitPass;
}

std::string typeText(std::uint8_t type) {
    std::string text = hex(type, 2) + " (";
    switch (type & 0x0F) {
        case kTypeIsp:
            text += "ISP";
            break;
        case kTypeIcp:
            text += "ICP";
            break;
        case kTypeIspByCom:
            text += "ISP by COM Port";
            break;
        default:
            text += "unknown";
            break;
    }
    if ((type & 0xF0) == kTypeGang)
        text += ", gang";
    if ((type & 0xF0) == kTypeProduction)
        text += ", production mode";
    return text + ")";
}

std::string flagsText(std::uint8_t flags) {
    static const char* const kNames[] = {
        "CONFIG", "LDROM", "DataFlash", "APROM", "UpdateISP", "bit 5", "separate APROM erase",
        "ICP"};
    std::string text = hex(flags, 2);
    std::string names;
    for (int bit = 7; bit >= 0; --bit) {
        if ((flags >> bit & 1) == 0)
            continue;
        names += (names.empty() ? "" : ", ") + std::string(kNames[bit]);
    }
    return names.empty() ? text : text + " (" + names + ")";
}

// The catalogue row a project's part number names in the project's programmer type.
std::string partText(const ProjectFile& project) {
    const std::string name = ChipCatalogue::nameAliases(project.partNumber);
    const std::uint8_t mode = project.programmerType & 0x0F;
    ChipCatalogue catalogue;
    catalogue.setLegacyListMasked(mode != kTypeIspByCom);
    const auto index = name.empty()
                           ? std::nullopt
                           : catalogue.findPart(name, mode != kTypeIsp && mode != kTypeIspByCom);
    std::string text = "\"" + project.partNumber + "\"";
    if (name != project.partNumber)
        text += " (now " + name + ")";
    return text +
           (index ? ", catalogue index " + std::to_string(*index) : ", not in the catalogue");
}

int runProjectShow(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (const ReadResult result = readWholeFile(path, bytes, 16u << 20); result != ReadResult::Ok) {
        std::cerr << "Open file error ! (" << describeReadFailure(result, path) << ")\n";
        return kExitInput;
    }
    ProjectFile p;
    std::string why;
    if (!decodeProject(bytes, p, &why)) {
        std::cerr << "TPJ format error ! (" << why << ")\n";
        return kExitInput;
    }
    const auto enabled = [](bool on) { return on ? "enabled" : "disabled"; };
    const unsigned usageTimes = p.usageTimesHigh == 0xFF && p.usageTimesLow == 0xFF
                                    ? 60000
                                    : p.usageTimesHigh * 256u + p.usageTimesLow;
    std::cout << "Part:             " << printable(partText(p)) << "\n"
              << "Programmer type:  " << typeText(p.programmerType) << "\n"
              << "FLAGs:            " << flagsText(p.flags) << "\n"
              << "CONFIG0:          " << hex(config0Word(p.configBytes), 8) << "\n"
              << "CONFIG1:          " << hex(config1Word(p.configBytes), 8) << "\n"
              << "DataFlash pages:  " << p.dataFlashPages << "\n"
              << "Usage limit:      " << enabled(p.usageLimitEnabled) << ", " << usageTimes
              << " times\n"
              << "Serial number:    " << enabled(p.serialEnabled) << ", S/N "
              << serialText(p.serialHigh, p.serialLow) << ", increment "
              << serialText(p.incrementHigh, p.incrementLow) << ", address "
              << hex(p.serialAddress, 5) << "\n"
              << "Chip counter:     " << enabled(p.chipCounterEnabled) << ", count "
              << (p.chipCounterDown ? "down" : "up") << ", " << p.chipCounter << "\n"
              << "UART protocol:    " << (p.uartFastProtocol ? "fast" : "normal") << "\n";
    for (std::size_t r = 0; r < 3; ++r) {
        const ProjectRegion& region = p.regions[r];
        std::string label = std::string(regionName(kImageRegions[r])) + ":";
        label.resize(18, ' ');
        std::cout << label;
        if (!region.present) {
            std::cout << "(none)\n";
            continue;
        }
        std::cout << "\"" << printable(region.shownName) << "\", " << region.length
                  << " Bytes, checksum " << hex(region.checksum, 8) << "\n";
    }
    return kExitPass;
}

int runProjectSave(const std::string& path, const SetupOptions& options) {
    ConsoleOperator op;
    auto job = std::make_unique<ProgrammingJob>();
    if (const int status = applySetupOptions(options, *job, op); status != kExitPass) {
        return status;
    }
    if (!saveProject(*job, path, op))
        return kExitInput;
    std::cout << "Saved " << path << " (" << job->part().partNumber << ", FLAGs "
              << hex(job->flags, 2) << ")\n";
    return kExitPass;
}

}  // namespace

void addFileCommands(CLI::App& app, CliContext& context) {
    auto* hex2bin = app.add_subcommand("hex2bin", "Convert an Intel HEX file to a binary image");
    auto input = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    hex2bin->add_option("IN", *input, "Intel HEX file")->required();
    hex2bin->add_option("OUT", *output, "Binary file to write")->required();
    hex2bin->callback(
        [&context, input, output] { context.exitStatus = runHexToBinary(*input, *output); });

    auto* project = app.add_subcommand("project", "Show or write a project file (.TPJ)");
    project->require_subcommand(1);

    auto* show = project->add_subcommand("show", "Print the setup a project file holds");
    auto showPath = std::make_shared<std::string>();
    show->add_option("FILE", *showPath, "Project file")->required();
    show->callback([&context, showPath] { context.exitStatus = runProjectShow(*showPath); });

    auto* save = project->add_subcommand("save", "Write a project file from setup options");
    auto savePath = std::make_shared<std::string>();
    auto options = std::make_shared<SetupOptions>();
    save->add_option("FILE", *savePath, "Project file to write")->required();
    addSetupOptions(save, *options);
    save->callback([&context, savePath, options] {
        context.exitStatus = runProjectSave(*savePath, *options);
    });
}

}  // namespace tarnel::cli

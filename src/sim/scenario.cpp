#include "sim/scenario.h"

#include <cctype>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "core/atomic_file.h"
#include "core/chip_catalogue.h"
#include "link/programmer_kind.h"

namespace tarnel::sim {

namespace {

using nlohmann::json;

[[noreturn]] void invalid(const std::string& what) {
    throw std::runtime_error("scenario: " + what);
}

// A number given as a JSON number or as text ("0x1A", "26").
std::uint64_t numberOf(const json& value, const std::string& field, std::uint64_t maximum) {
    std::uint64_t number = 0;
    if (value.is_number_unsigned()) {
        number = value.get<std::uint64_t>();
    } else if (value.is_string()) {
        const std::string text = value.get<std::string>();
        std::size_t used = 0;
        try {
            number = std::stoull(text, &used, 0);
        } catch (const std::exception&) {
            invalid(field + " \"" + text + "\" is not a number");
        }
        if (used != text.size())
            invalid(field + " \"" + text + "\" is not a number");
    } else {
        invalid(field + " must be a non-negative number");
    }
    if (number > maximum)
        invalid(field + " is out of range");
    return number;
}

Fault faultOf(const json& entry, std::size_t index) {
    const std::string where = "faults[" + std::to_string(index) + "]";
    if (!entry.is_object())
        invalid(where + " must be an object");
    Fault fault;
    const std::string type = entry.value("type", "");
    if (type == "noAnswer") {
        fault.kind = Fault::Kind::NoAnswer;
    } else if (type == "wrongByte") {
        fault.kind = Fault::Kind::WrongByte;
    } else if (type == "lateReply") {
        fault.kind = Fault::Kind::LateReply;
    } else if (type == "lineCut") {
        fault.kind = Fault::Kind::LineCut;
    } else {
        invalid(where + ".type must be noAnswer, wrongByte, lateReply or lineCut");
    }
    constexpr auto kIntMax = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
    if (entry.contains("step"))
        fault.step = static_cast<int>(numberOf(entry["step"], where + ".step", kIntMax));
    if (fault.step < 1)
        invalid(where + ".step counts from 1");
    if (entry.contains("count"))
        fault.count = static_cast<int>(numberOf(entry["count"], where + ".count", kIntMax));
    if (entry.contains("value"))
        fault.value = static_cast<std::uint8_t>(numberOf(entry["value"], where + ".value", 0xFF));
    if (entry.contains("delayMs"))
        fault.delayMs =
            static_cast<std::uint32_t>(numberOf(entry["delayMs"], where + ".delayMs", 600000));
    return fault;
}

std::vector<std::uint8_t> hexContent(const std::string& text, const std::string& field) {
    std::vector<std::uint8_t> bytes;
    int pending = -1;
    for (const char c : text) {
        if (c == ' ')
            continue;
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            invalid(field + " must be hex digits");
        }
        if (pending < 0) {
            pending = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(pending << 4 | digit));
            pending = -1;
        }
    }
    if (pending >= 0)
        invalid(field + " has an odd number of hex digits");
    if (bytes.size() > kImageCapacity)
        invalid(field + " is larger than a region can be");
    return bytes;
}

bool flagOf(const json& entry, const char* name, const std::string& where) {
    if (!entry.contains(name))
        return false;
    if (!entry[name].is_boolean())
        invalid((where.empty() ? std::string(name) : where + "." + name) +
                " must be true or false");
    return entry[name].get<bool>();
}

SimChip chipOf(const json& entry, std::size_t index, const char* list = "sockets") {
    const std::string where = std::string(list) + "[" + std::to_string(index) + "]";
    if (!entry.is_object())
        invalid(where + " must be an object");
    SimChip chip;
    if (entry.contains("part")) {
        const json& part = entry["part"];
        if (part.is_string() && !part.get<std::string>().empty() &&
            !std::isdigit(static_cast<unsigned char>(part.get<std::string>()[0]))) {
            const ChipCatalogue catalogue;
            const std::string name = part.get<std::string>();
            auto found = catalogue.findPart(name, true);
            if (!found)
                found = catalogue.findPart(name, false);
            if (!found)
                invalid(where + ".part \"" + name + "\" is not in the catalogue");
            chip.partIndex = *found;
        } else {
            chip.partIndex =
                static_cast<std::uint32_t>(numberOf(part, where + ".part", kLastPartIndex));
        }
    }
    chip.present = !flagOf(entry, "absent", where);
    chip.locked = flagOf(entry, "locked", where);
    chip.wrongDeviceId = flagOf(entry, "wrongDeviceId", where);

    const std::pair<const char*, Region> regions[] = {
        {"aprom", Region::Aprom}, {"dataFlash", Region::DataFlash}, {"ldrom", Region::Ldrom}};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& [name, region] = regions[i];
        if (!entry.contains(name))
            continue;
        const json& value = entry[name];
        const std::string field = where + "." + name;
        if (value.is_string()) {
            chip.memory(region) = hexContent(value.get<std::string>(), field);
        } else {
            chip.fill[i] = static_cast<std::uint8_t>(numberOf(value, field, 0xFF));
        }
    }
    if (entry.contains("config")) {
        const json& config = entry["config"];
        if (config.is_string()) {
            const auto bytes = hexContent(config.get<std::string>(), where + ".config");
            if (bytes.size() != chip.config.size())
                invalid(where + ".config must be 16 hex digits");
            std::copy(bytes.begin(), bytes.end(), chip.config.begin());
        } else if (config.is_array() && config.size() == chip.config.size()) {
            for (std::size_t i = 0; i < chip.config.size(); ++i) {
                chip.config[i] = static_cast<std::uint8_t>(
                    numberOf(config[i], where + ".config[" + std::to_string(i) + "]", 0xFF));
            }
        } else {
            invalid(where + ".config must be 16 hex digits or eight numbers");
        }
    }
    if (entry.contains("trim")) {
        const json& trim = entry["trim"];
        if (!trim.is_array() || trim.size() != chip.trim.size())
            invalid(where + ".trim must be five numbers");
        for (std::size_t i = 0; i < chip.trim.size(); ++i) {
            chip.trim[i] = static_cast<std::uint8_t>(
                numberOf(trim[i], where + ".trim[" + std::to_string(i) + "]", 0xFF));
        }
    }
    if (chip.partIndex)
        shapeChip(chip, partRow(*chip.partIndex));
    return chip;
}

std::uint8_t kindOf(const json& kind, const std::string& field) {
    const auto variant = kind.is_string() ? variantOfName(kind.get<std::string>()) : std::nullopt;
    return variant ? rowOfVariant(*variant)->kind
                   : static_cast<std::uint8_t>(numberOf(kind, field, 0xFF));
}

UnitSetup unitOf(const json& entry, std::size_t index) {
    const std::string where = "units[" + std::to_string(index) + "]";
    if (!entry.is_object())
        invalid(where + " must be an object");
    UnitSetup unit;
    if (entry.contains("kind"))
        unit.kind = kindOf(entry["kind"], where + ".kind");
    unit.wholeReport = flagOf(entry, "wholeReport", where);
    if (entry.contains("firmwareVersion")) {
        unit.firmwareVersion = static_cast<std::uint16_t>(
            numberOf(entry["firmwareVersion"], where + ".firmwareVersion", 0xFFFF));
    }
    return unit;
}

BootChip bootChipOf(const json& entry, std::size_t index) {
    BootChip boot;
    boot.chip = chipOf(entry, index, "chips");
    const std::string where = "chips[" + std::to_string(index) + "]";
    if (entry.contains("baudCode"))
        boot.baudCode =
            static_cast<std::uint8_t>(numberOf(entry["baudCode"], where + ".baudCode", 0xFF));
    if (entry.contains("leadingAnswers")) {
        const json& answers = entry["leadingAnswers"];
        if (!answers.is_array())
            invalid(where + ".leadingAnswers must be an array");
        for (const json& answer : answers)
            boot.leadingAnswers.push_back(
                static_cast<std::uint8_t>(numberOf(answer, where + ".leadingAnswers", 0xFF)));
    }
    if (entry.contains("resetAfterProbes"))
        boot.resetAfterProbes = static_cast<std::uint32_t>(
            numberOf(entry["resetAfterProbes"], where + ".resetAfterProbes", 1000000));
    if (entry.contains("resetAfterMs"))
        boot.resetAfterMs = static_cast<std::uint32_t>(
            numberOf(entry["resetAfterMs"], where + ".resetAfterMs", 3600000));
    if (entry.contains("eraseMs"))
        boot.eraseMs =
            static_cast<std::uint32_t>(numberOf(entry["eraseMs"], where + ".eraseMs", 4000));
    return boot;
}

DeviceTimes parseDeviceTimes(const json& entry) {
    if (!entry.is_object())
        throw std::runtime_error("scenario: deviceTime must be an object");
    DeviceTimes times;
    const auto field = [&entry](const char* name, std::uint32_t& value) {
        if (entry.contains(name)) {
            value = static_cast<std::uint32_t>(
                numberOf(entry[name], std::string("deviceTime.") + name, 60000));
        }
    };
    field("storageClearMs", times.storageClearMs);
    field("pageEraseMs", times.pageEraseMs);
    field("programTickMs", times.programTickMs);
    return times;
}

}  // namespace

Scenario parseScenario(std::string_view text) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& error) {
        invalid(std::string("not valid JSON: ") + error.what());
    }
    if (!root.is_object())
        invalid("the top level must be an object");

    Scenario scenario;
    if (root.contains("device")) {
        const json& device = root["device"];
        if (device == "single") {
            scenario.device = Scenario::Device::Single;
        } else if (device == "gang") {
            scenario.device = Scenario::Device::Gang;
        } else if (device == "bootloader") {
            scenario.device = Scenario::Device::Bootloader;
        } else {
            invalid("device must be \"single\", \"gang\" or \"bootloader\"");
        }
    }
    if (root.contains("kind"))
        scenario.kind = kindOf(root["kind"], "kind");
    if (root.contains("firmwareVersion")) {
        scenario.firmwareVersion = static_cast<std::uint16_t>(
            numberOf(root["firmwareVersion"], "firmwareVersion", 0xFFFF));
    }
    if (root.contains("faults")) {
        const json& faults = root["faults"];
        if (!faults.is_array())
            invalid("faults must be an array");
        for (std::size_t i = 0; i < faults.size(); ++i)
            scenario.faults.push_back(faultOf(faults[i], i));
    }
    const std::size_t maxSockets = scenario.device == Scenario::Device::Gang ? kGangUnits : 1;
    if (root.contains("sockets")) {
        const json& sockets = root["sockets"];
        if (!sockets.is_array() || sockets.size() > maxSockets)
            invalid("sockets must be an array of at most " + std::to_string(maxSockets));
        for (std::size_t i = 0; i < sockets.size(); ++i)
            scenario.sockets.push_back(chipOf(sockets[i], i));
    }
    if (root.contains("units")) {
        const json& units = root["units"];
        if (scenario.device != Scenario::Device::Gang)
            invalid("units belong to a gang programmer");
        if (!units.is_array() || units.size() > kGangUnits)
            invalid("units must be an array of at most 4");
        for (std::size_t i = 0; i < units.size(); ++i)
            scenario.units[i] = unitOf(units[i], i);
    }
    if (root.contains("chips")) {
        const json& chips = root["chips"];
        if (scenario.device != Scenario::Device::Bootloader)
            invalid("chips belong to a boot loader");
        if (!chips.is_array())
            invalid("chips must be an array");
        for (std::size_t i = 0; i < chips.size(); ++i)
            scenario.bootChips.push_back(bootChipOf(chips[i], i));
    }
    if (scenario.device == Scenario::Device::Bootloader && scenario.bootChips.empty())
        scenario.bootChips.emplace_back();
    scenario.wholeReport = flagOf(root, "wholeReport", "");
    for (UnitSetup& unit : scenario.units)
        unit.wholeReport = unit.wholeReport || scenario.wholeReport;
    if (root.contains("gangRunMs")) {
        scenario.gangRunMs =
            static_cast<std::uint32_t>(numberOf(root["gangRunMs"], "gangRunMs", 600000));
    }
    if (root.contains("deviceTime"))
        scenario.deviceTimes = parseDeviceTimes(root["deviceTime"]);
    return scenario;
}

Scenario loadScenario(const std::string& path) {
    // Refuses a FIFO or device without waiting on it, and a file far too large to be one.
    std::vector<std::uint8_t> bytes;
    if (const ReadResult read = readWholeFile(path, bytes, 1u << 20); read != ReadResult::Ok)
        throw std::runtime_error("scenario: " + describeReadFailure(read, path));
    return parseScenario(std::string(bytes.begin(), bytes.end()));
}

std::unique_ptr<SimDevice> makeDevice(const Scenario& scenario, DeviceLine& line) {
    line.setDeviceTimes(scenario.deviceTimes);
    if (scenario.device == Scenario::Device::Bootloader)
        return std::make_unique<SimBootloader>(line, scenario.bootChips);
    if (scenario.device == Scenario::Device::Gang) {
        auto units = scenario.units;
        for (std::size_t i = 0; i < scenario.sockets.size() && i < units.size(); ++i)
            units[i].chip = scenario.sockets[i];
        return std::make_unique<SimGangProgrammer>(line, scenario.firmwareVersion, std::move(units),
                                                   scenario.gangRunMs);
    }
    auto programmer = std::make_unique<SimProgrammer>(
        line, scenario.kind, scenario.firmwareVersion,
        scenario.sockets.empty() ? SimChip{} : scenario.sockets.front());
    programmer->setWholeReport(scenario.wholeReport);
    return programmer;
}

}  // namespace tarnel::sim

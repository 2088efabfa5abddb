#include "sim/scenario.h"

#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

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
        } else {
            invalid("device must be \"single\" or \"gang\"");
        }
    }
    if (root.contains("kind")) {
        const json& kind = root["kind"];
        const auto variant =
            kind.is_string() ? variantOfName(kind.get<std::string>()) : std::nullopt;
        scenario.kind = variant ? rowOfVariant(*variant)->kind
                                : static_cast<std::uint8_t>(numberOf(kind, "kind", 0xFF));
    }
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
    return scenario;
}

Scenario loadScenario(const std::string& path) {
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error("scenario: cannot open " + path);
    std::ostringstream text;
    text << file.rdbuf();
    return parseScenario(text.str());
}

std::unique_ptr<SimDevice> makeDevice(const Scenario& scenario, DeviceLine& line) {
    if (scenario.device == Scenario::Device::Gang)
        return std::make_unique<SimGangProgrammer>(line, scenario.firmwareVersion);
    return std::make_unique<SimProgrammer>(line, scenario.kind, scenario.firmwareVersion);
}

}  // namespace tarnel::sim

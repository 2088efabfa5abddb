#include "link/port_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace tarnel {

namespace {

constexpr std::string_view kSlotPrefix = "\\\\.\\COM";
constexpr std::string_view kWindowsDevicePrefix = "\\\\.\\";
constexpr std::string_view kDevPrefix = "/dev/";

// Serial device kinds listed after TARNEL_PORTS, in this order.
constexpr std::array<std::string_view, 5> kSerialDeviceStems = {"ttyUSB", "ttyACM", "ttyS",
                                                                "ttyAMA", "rfcomm"};

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool isStemAndNumber(std::string_view name, std::string_view stem) {
    if (name.size() <= stem.size() || name.substr(0, stem.size()) != stem)
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(stem.size()), name.end(),
                       isDigit);
}

std::vector<std::string> splitColons(std::string_view text) {
    std::vector<std::string> parts;
    while (!text.empty()) {
        const auto colon = text.find(':');
        const auto part = text.substr(0, colon);
        if (!part.empty())
            parts.emplace_back(part);
        if (colon == std::string_view::npos)
            break;
        text.remove_prefix(colon + 1);
    }
    return parts;
}

}  // namespace

std::string slotName(int slot) {
    if (slot < 1 || slot > kPortSlots)
        return {};
    return std::string(kSlotPrefix) + std::to_string(slot);
}

int slotOfName(std::string_view name) {
    if (name.substr(0, kSlotPrefix.size()) != kSlotPrefix)
        return 0;
    const auto digits = name.substr(kSlotPrefix.size());
    if (digits.empty() || digits.front() == '0' ||
        !std::all_of(digits.begin(), digits.end(), isDigit))
        return 0;
    int slot = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), slot);
    if (error != std::errc{} || end != digits.data() + digits.size())
        return 0;
    return slot <= kPortSlots ? slot : 0;
}

std::string portDisplayName(std::string_view name) {
    if (name.substr(0, kWindowsDevicePrefix.size()) == kWindowsDevicePrefix)
        return std::string(name.substr(kWindowsDevicePrefix.size()));
    if (name.substr(0, kDevPrefix.size()) == kDevPrefix)
        return std::string(name.substr(kDevPrefix.size()));
    return std::string(name);
}

bool naturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t iEnd = i;
            std::size_t jEnd = j;
            while (iEnd < a.size() && isDigit(a[iEnd]))
                ++iEnd;
            while (jEnd < b.size() && isDigit(b[jEnd]))
                ++jEnd;
            // Compare the runs as numbers: skip leading zeros, then length, then digits.
            auto runA = a.substr(i, iEnd - i);
            auto runB = b.substr(j, jEnd - j);
            while (runA.size() > 1 && runA.front() == '0')
                runA.remove_prefix(1);
            while (runB.size() > 1 && runB.front() == '0')
                runB.remove_prefix(1);
            if (runA.size() != runB.size())
                return runA.size() < runB.size();
            if (runA != runB)
                return runA < runB;
            i = iEnd;
            j = jEnd;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> buildPosixPortTable(const char* tarnelPorts,
                                             const std::string& devDirectory) {
    std::vector<std::string> table;
    auto add = [&table](std::string path) {
        if (table.size() < kPortSlots && std::find(table.begin(), table.end(), path) == table.end())
            table.push_back(std::move(path));
    };
    if (tarnelPorts != nullptr) {
        for (auto& path : splitColons(tarnelPorts))
            add(std::move(path));
    }

    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(devDirectory, error), end; !error && it != end;
         it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    for (std::string_view stem : kSerialDeviceStems) {
        std::vector<std::string> ofStem;
        for (const auto& name : names) {
            if (isStemAndNumber(name, stem))
                ofStem.push_back(name);
        }
        std::sort(ofStem.begin(), ofStem.end(),
                  [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
        for (const auto& name : ofStem)
            add(devDirectory + "/" + name);
    }
    return table;
}

std::string deviceForName(std::string_view remembered, const std::vector<std::string>& table) {
    if (remembered.empty())
        return {};
    if (const int slot = slotOfName(remembered); slot != 0) {
        return static_cast<std::size_t>(slot) <= table.size() ? table[slot - 1] : std::string{};
    }
    if (remembered.front() == '/')
        return std::string(remembered);
    return std::string(kDevPrefix) + std::string(remembered);
}

std::string rememberedNameForSlot(int slot, const std::vector<std::string>& table) {
    if (slot < 1 || static_cast<std::size_t>(slot) > table.size())
        return {};
    const std::string& device = table[slot - 1];
    if (!device.empty() && device.size() < kPortNameCapacity)
        return device;
    return slotName(slot);
}

std::string rememberedNameFor(std::string_view given, const std::vector<std::string>& table) {
    if (given.empty())
        return {};
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i] == given || portDisplayName(table[i]) == given)
            return rememberedNameForSlot(static_cast<int>(i) + 1, table);
    }
    // A stable name (/dev/serial/by-id/...) stands for the slot of the device it links to.
    if (given.front() == '/') {
        std::error_code error;
        const auto device = std::filesystem::canonical(std::string(given), error);
        for (std::size_t i = 0; !error && i < table.size(); ++i) {
            std::error_code entryError;
            if (std::filesystem::canonical(table[i], entryError) == device && !entryError)
                return rememberedNameForSlot(static_cast<int>(i) + 1, table);
        }
    }
    if (slotOfName(given) != 0)
        return std::string(given);
    if (const int slot = slotOfName(std::string(kWindowsDevicePrefix) + std::string(given)))
        return slotName(slot);
    std::string path =
        given.front() == '/' ? std::string(given) : std::string(kDevPrefix) + std::string(given);
    return path.size() < kPortNameCapacity ? path : std::string{};
}

}  // namespace tarnel

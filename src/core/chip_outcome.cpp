#include "core/chip_outcome.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tarnel {

namespace {

template <typename Enum, std::size_t N>
using NameTable = std::array<std::pair<Enum, std::string_view>, N>;

constexpr NameTable<ChipOperation, 6> kOperations{{{ChipOperation::Update, "update"},
                                                   {ChipOperation::Verify, "verify"},
                                                   {ChipOperation::Read, "read"},
                                                   {ChipOperation::ChipCheck, "chip-check"},
                                                   {ChipOperation::Download, "download"},
                                                   {ChipOperation::Information, "info"}}};
constexpr NameTable<Outcome, 3> kOutcomes{
    {{Outcome::Pass, "pass"}, {Outcome::Fail, "fail"}, {Outcome::Warning, "warning"}}};
constexpr NameTable<FailureClass, 6> kClasses{{{FailureClass::None, "none"},
                                               {FailureClass::Chip, "chip"},
                                               {FailureClass::Usage, "usage"},
                                               {FailureClass::Link, "link"},
                                               {FailureClass::Input, "input"},
                                               {FailureClass::Operator, "operator"}}};

template <typename Enum, std::size_t N>
std::string_view nameIn(const NameTable<Enum, N>& table, Enum value) {
    for (const auto& [each, name] : table) {
        if (each == value)
            return name;
    }
    return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> valueIn(const NameTable<Enum, N>& table, std::string_view name) {
    for (const auto& [each, eachName] : table) {
        if (eachName == name)
            return each;
    }
    return std::nullopt;
}

}  // namespace

std::string_view operationName(ChipOperation operation) {
    return nameIn(kOperations, operation);
}
std::string_view outcomeName(Outcome outcome) {
    return nameIn(kOutcomes, outcome);
}
std::string_view failureClassName(FailureClass failureClass) {
    return nameIn(kClasses, failureClass);
}
std::optional<ChipOperation> operationNamed(std::string_view name) {
    return valueIn(kOperations, name);
}
std::optional<Outcome> outcomeNamed(std::string_view name) {
    return valueIn(kOutcomes, name);
}
std::optional<FailureClass> failureClassNamed(std::string_view name) {
    return valueIn(kClasses, name);
}

void OutcomeFanOut::add(OutcomeSink& sink) {
    std::lock_guard lock(mutex_);
    sinks_.push_back(&sink);
}

void OutcomeFanOut::remove(OutcomeSink& sink) {
    std::lock_guard lock(mutex_);
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), &sink), sinks_.end());
}

void OutcomeFanOut::chipOutcome(const ChipOutcome& outcome) {
    std::vector<OutcomeSink*> sinks;
    {
        std::lock_guard lock(mutex_);
        sinks = sinks_;
    }
    for (OutcomeSink* sink : sinks)
        sink->chipOutcome(outcome);
}

}  // namespace tarnel

#pragma once
// The production record of a directory in a form tests compare at a glance: one short line
// per entry with what distinguishes chips (operation, socket, outcome, class, S/N, counter,
// failure text).

#include <string>
#include <vector>

#include "core/production_record.h"

namespace tarnel::test {

inline std::vector<std::string> recordSummary(const std::string& directory) {
    const RecordContents contents = readRecord(directory);
    std::vector<std::string> lines;
    for (const ChipOutcome& e : contents.entries) {
        std::string text = std::string(operationName(e.operation)) + " #" +
                           std::to_string(e.socket) + " " + std::string(outcomeName(e.outcome));
        if (e.failureClass != FailureClass::None)
            text += " (" + std::string(failureClassName(e.failureClass)) + ") \"" + e.failureText +
                    "\"";
        if (!e.serialNumber.empty())
            text += " S/N " + e.serialNumber;
        if (e.chipCounter)
            text += " n=" + std::to_string(*e.chipCounter);
        lines.push_back(std::move(text));
    }
    for (const RecordProblem& problem : contents.problems)
        lines.push_back("bad line " + std::to_string(problem.line) + ": " + problem.reason);
    return lines;
}

}  // namespace tarnel::test

// tarnel record show / export --csv / summary: the production record of the working
// directory, read back for line engineers.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "cli/printable.h"
#include "core/atomic_file.h"
#include "core/production_record.h"

namespace tarnel::cli {

namespace {

struct RecordOptions {
    std::string since;
    std::string until;
    std::string serial;
    bool failOnly = false;
    bool csv = false;
    std::string out;
};

bool isDate(const std::string& text) {
    if (text.size() != 10)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? text[i] != '-' : (text[i] < '0' || text[i] > '9'))
            return false;
    }
    return true;
}

std::string dayOf(const ChipOutcome& entry) {
    return entry.time.substr(0, 10);
}

// The entries the options select, after the bad lines have been reported; nullopt (after
// a message) on bad usage.
std::optional<std::vector<ChipOutcome>> selectEntries(const CliContext& context,
                                                      const RecordOptions& o) {
    for (const std::string* date : {&o.since, &o.until}) {
        if (!date->empty() && !isDate(*date)) {
            std::cerr << "tarnel record: \"" << *date << "\" is not a date (YYYY-MM-DD)\n";
            return std::nullopt;
        }
    }
    std::error_code error;
    const std::string directory =
        context.workDir.empty() ? std::filesystem::current_path(error).string() : context.workDir;
    RecordContents contents = readRecord(directory);
    for (const RecordProblem& problem : contents.problems) {
        std::cerr << "tarnel record: " << problem.file;
        if (problem.line != 0)
            std::cerr << " line " << problem.line;
        std::cerr << ": " << problem.reason << "\n";
    }
    std::vector<ChipOutcome> selected;
    for (ChipOutcome& entry : contents.entries) {
        const std::string day = dayOf(entry);
        if ((!o.since.empty() && day < o.since) || (!o.until.empty() && day > o.until) ||
            (!o.serial.empty() && entry.serialNumber != o.serial) ||
            (o.failOnly && entry.outcome == Outcome::Pass))
            continue;
        selected.push_back(std::move(entry));
    }
    return selected;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

int show(const CliContext& context, const RecordOptions& o) {
    const auto entries = selectEntries(context, o);
    if (!entries)
        return kExitUsage;
    std::printf("%-25s %-10s %-6s %-16s %-17s %-7s %s\n", "time", "operation", "socket", "part",
                "serial", "outcome", "failure");
    for (const ChipOutcome& e : *entries) {
        // A pass has no failure text: its row ends at the outcome.
        const char* format = e.failureText.empty() ? "%-25s %-10s %-6s %-16s %-17s %s%s\n"
                                                   : "%-25s %-10s %-6s %-16s %-17s %-7s %s\n";
        std::printf(format, e.time.c_str(), std::string(operationName(e.operation)).c_str(),
                    e.socket == 0 ? "-" : std::to_string(e.socket).c_str(),
                    printable(e.partNumber).c_str(),
                    e.serialNumber.empty() ? "-" : e.serialNumber.c_str(),
                    std::string(outcomeName(e.outcome)).c_str(),
                    printable(firstLine(e.failureText)).c_str());
    }
    return kExitPass;
}

// One field as RFC 4180 wants it: quoted when it holds a comma, a quote or a line end, with
// its quotes doubled.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string csvOf(const std::vector<ChipOutcome>& entries) {
    static const char* const kRegions[] = {"APROM", "DataFlash", "LDROM"};
    std::vector<std::string> header = {"time",     "host",   "operation", "port",   "programmer",
                                       "firmware", "socket", "part",      "project"};
    for (const char* region : kRegions) {
        for (const char* what : {"_name", "_size", "_checksum"})
            header.push_back(std::string(region) + what);
    }
    for (const char* name : {"serial", "counter", "outcome", "class", "failure", "duration_ms"})
        header.emplace_back(name);

    std::string csv;
    auto addRow = [&csv](const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                csv += ',';
            csv += csvField(fields[i]);
        }
        csv += "\r\n";
    };
    addRow(header);
    for (const ChipOutcome& e : entries) {
        std::vector<std::string> row = {e.time,
                                        e.hostName,
                                        std::string(operationName(e.operation)),
                                        e.port,
                                        e.programmerKind,
                                        e.firmwareVersion,
                                        std::to_string(e.socket),
                                        e.partNumber,
                                        e.projectFile};
        for (const char* region : kRegions) {
            const ImageSummary* image = nullptr;
            for (const ImageSummary& each : e.images) {
                if (each.region == region)
                    image = &each;
            }
            row.push_back(image ? image->name : "");
            row.push_back(image ? std::to_string(image->size) : "");
            row.push_back(image ? hex32(image->checksum) : "");
        }
        row.push_back(e.serialNumber);
        row.push_back(e.chipCounter ? std::to_string(*e.chipCounter) : "");
        row.emplace_back(outcomeName(e.outcome));
        row.emplace_back(failureClassName(e.failureClass));
        row.push_back(e.failureText);
        row.push_back(std::to_string(e.durationMs));
        addRow(row);
    }
    return csv;
}

int exportCsv(const CliContext& context, const RecordOptions& o) {
    if (!o.csv) {
        std::cerr << "tarnel record export: say the format (--csv)\n";
        return kExitUsage;
    }
    const auto entries = selectEntries(context, o);
    if (!entries)
        return kExitUsage;
    const std::string csv = csvOf(*entries);
    if (o.out.empty()) {
        std::cout << csv << std::flush;
        return kExitPass;
    }
    std::string error;
    if (!writeFileAtomically(o.out, {reinterpret_cast<const std::uint8_t*>(csv.data()), csv.size()},
                             &error)) {
        std::cerr << "tarnel record export: " << o.out << ": " << error << "\n";
        return kExitInput;
    }
    return kExitPass;
}

int summary(const CliContext& context, const RecordOptions& o) {
    const auto entries = selectEntries(context, o);
    if (!entries)
        return kExitUsage;
    struct Totals {
        int pass = 0;
        int fail = 0;
        int warning = 0;
        void add(Outcome outcome) {
            ++(outcome == Outcome::Pass ? pass : outcome == Outcome::Fail ? fail : warning);
        }
        int total() const { return pass + fail + warning; }
    };
    std::map<std::pair<std::string, std::string>, Totals> rows;
    Totals all;
    for (const ChipOutcome& e : *entries) {
        rows[{dayOf(e), e.partNumber}].add(e.outcome);
        all.add(e.outcome);
    }
    auto print = [](const std::string& day, const std::string& part, const Totals& t) {
        std::printf("%-10s  %-16s %6d %6d %8d %6d %6.1f %%\n", day.c_str(), printable(part).c_str(),
                    t.pass, t.fail, t.warning, t.total(),
                    t.total() == 0 ? 0.0 : 100.0 * t.pass / t.total());
    };
    std::printf("%-10s  %-16s %6s %6s %8s %6s %8s\n", "day", "part", "pass", "fail", "warning",
                "total", "yield");
    for (const auto& [key, totals] : rows)
        print(key.first, key.second, totals);
    print("all", "", all);
    return kExitPass;
}

void addFilters(CLI::App* sub, RecordOptions& o) {
    sub->add_option("--since", o.since, "First day (YYYY-MM-DD)");
    sub->add_option("--until", o.until, "Last day (YYYY-MM-DD)");
}

}  // namespace

void addRecordCommands(CLI::App& app, CliContext& context) {
    auto* record = app.add_subcommand("record", "The production record of the working directory");
    record->require_subcommand(1);
    auto options = std::make_shared<RecordOptions>();

    auto* showCommand = record->add_subcommand("show", "Print the entries as a table");
    addFilters(showCommand, *options);
    showCommand->add_option("--serial", options->serial, "Only the chip with this S/N");
    showCommand->add_flag("--fail", options->failOnly, "Only chips that did not pass");
    showCommand->callback([&context, options] { context.exitStatus = show(context, *options); });

    auto* exportCommand = record->add_subcommand("export", "Write the entries for a spreadsheet");
    addFilters(exportCommand, *options);
    exportCommand->add_flag("--csv", options->csv, "As CSV (RFC 4180)");
    exportCommand->add_option("--out", options->out, "Into this file (default: standard output)");
    exportCommand->callback(
        [&context, options] { context.exitStatus = exportCsv(context, *options); });

    auto* summaryCommand =
        record->add_subcommand("summary", "Totals per day, part and outcome, with the yield");
    addFilters(summaryCommand, *options);
    summaryCommand->callback(
        [&context, options] { context.exitStatus = summary(context, *options); });
}

}  // namespace tarnel::cli

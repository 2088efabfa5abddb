// tarnel record: the export read back by a CSV reader, the filters, and a damaged record
// that is still read.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/production_record.h"
#include "support/cli_process.h"
#include "support/scratch_dir.h"

using tarnel::test::CliRun;
using tarnel::test::contains;
using tarnel::test::kTarnel;
using tarnel::test::ran;
using tarnel::test::run;

namespace {

// An RFC 4180 reader: CRLF between records, fields quoted when they hold a comma, a quote
// or a line end, quotes doubled inside. Fails the test on anything else.
std::vector<std::vector<std::string>> readCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"') {
            for (++i; i < text.size(); ++i) {
                if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else if (text[i] == '"') {
                    ++i;
                    break;
                } else {
                    field += text[i];
                }
            }
        }
        for (; i < text.size() && text[i] != ',' && text[i] != '\r'; ++i) {
            EXPECT_NE(text[i], '"') << "a quote in an unquoted field at " << i;
            EXPECT_NE(text[i], '\n') << "a bare line feed at " << i;
            field += text[i];
        }
        row.push_back(std::move(field));
        field.clear();
        if (i < text.size() && text[i] == '\r') {
            EXPECT_EQ(text.substr(i, 2), "\r\n");
            rows.push_back(std::move(row));
            row.clear();
            i += 2;
        } else {
            ++i;  // the comma
        }
    }
    EXPECT_TRUE(row.empty()) << "the last record ends with CRLF";
    return rows;
}

tarnel::ChipOutcome entry(const std::string& time, const std::string& serial,
                          tarnel::Outcome outcome, const std::string& failure) {
    tarnel::ChipOutcome e;
    e.time = time;
    e.partNumber = "QK200";
    e.projectFile = R"(board "rev, B".TPJ)";
    e.images = {{"APROM", "app,v2.hex", 1536, 0x2F600}};
    e.serialNumber = serial;
    e.outcome = outcome;
    e.failureClass =
        outcome == tarnel::Outcome::Pass ? tarnel::FailureClass::None : tarnel::FailureClass::Chip;
    e.failureText = failure;
    return e;
}

TEST(RecordCli, CsvExportRoundTripsThroughACsvReader) {
    tarnel::test::ScratchDir dir;
    const std::vector<tarnel::ChipOutcome> written = {
        entry("2026-12-01T08:00:00+01:00", "00000000,00000001", tarnel::Outcome::Pass, ""),
        entry("2026-12-01T08:00:09+01:00", "", tarnel::Outcome::Fail,
              "Device ID error !\nPlease select the correct Part No."),
        entry("2026-12-02T09:30:00+01:00", "00000000,00000002", tarnel::Outcome::Pass, ""),
    };
    for (const auto& e : written) {
        std::string error;
        ASSERT_TRUE(tarnel::appendRecordLine(dir.file(tarnel::recordFileNameFor(e.time)),
                                             tarnel::recordLine(e), &error))
            << error;
    }
    // A line damaged by hand is named and skipped; the export goes on.
    {
        std::string error;
        ASSERT_TRUE(
            tarnel::appendRecordLine(dir.file("production-2026-12-01.jsonl"), "{oops", &error));
    }

    const std::string base = kTarnel + " --workdir " + dir.path() + " record ";
    const CliRun exported = run(base + "export --csv --out " + dir.file("out.csv"));
    EXPECT_TRUE(ran(exported, 0, {"production-2026-12-01.jsonl line 3:"}));
    const auto bytes = tarnel::test::readBytes(dir.file("out.csv"));
    const auto rows = readCsv(std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(rows.size(), 1 + written.size());
    const std::vector<std::string>& header = rows[0];
    auto column = [&header](const std::string& name) {
        const auto at = std::find(header.begin(), header.end(), name);
        EXPECT_NE(at, header.end()) << name;
        return static_cast<std::size_t>(at - header.begin());
    };
    for (std::size_t i = 0; i < written.size(); ++i) {
        const auto& row = rows[i + 1];
        ASSERT_EQ(row.size(), header.size());
        EXPECT_EQ(row[column("time")], written[i].time);
        EXPECT_EQ(row[column("serial")], written[i].serialNumber);
        EXPECT_EQ(row[column("failure")], written[i].failureText);
        EXPECT_EQ(row[column("project")], written[i].projectFile);
        EXPECT_EQ(row[column("APROM_name")], "app,v2.hex");
        EXPECT_EQ(row[column("APROM_checksum")], "0x0002F600");
        EXPECT_EQ(row[column("outcome")], i == 1 ? "fail" : "pass");
    }

    // The filters: a day, a serial number, the failures.
    const CliRun day = run(base + "export --csv --since 2026-12-02");
    EXPECT_EQ(readCsv(day.out.substr(day.out.find("time,"))).size(), 2u) << day.out;
    CliRun shown = run(base + "show --serial 00000000,00000002");
    EXPECT_TRUE(contains(shown.out, "2026-12-02T09:30:00+01:00")) << shown.out;
    EXPECT_FALSE(contains(shown.out, "2026-12-01T08")) << shown.out;
    shown = run(base + "show --fail");
    EXPECT_TRUE(contains(shown.out, "Device ID error !")) << shown.out;
    EXPECT_FALSE(contains(shown.out, "00000000,00000001")) << shown.out;
    const CliRun summary = run(base + "summary");
    EXPECT_TRUE(contains(summary.out,
                         "2026-12-01  QK200                 1      1        0      2"
                         "   50.0 %"))
        << summary.out;
    EXPECT_EQ(run(base + "show --since yesterday").status, 2);
}

}  // namespace

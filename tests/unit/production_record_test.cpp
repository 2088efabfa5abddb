// The production record's file: an entry read back as written, and a record damaged by a
// writer stopped mid-line (or by hand) that still reads, with every bad line named.

#include <gtest/gtest.h>

#include <fstream>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "core/production_record.h"
#include "support/scratch_dir.h"

namespace tarnel {
namespace {

ChipOutcome sampleOutcome(std::string serial) {
    ChipOutcome o;
    o.operation = ChipOperation::Update;
    o.socket = 2;
    o.outcome = Outcome::Fail;
    o.failureClass = FailureClass::Chip;
    o.failureText = "Device ID error !\nPlease select the correct Part No.";
    o.serialNumber = std::move(serial);
    o.chipCounter = 41;
    o.port = "ttyUSB0";
    o.programmerKind = "Gang";
    o.firmwareVersion = "0x0614";
    o.partNumber = "QK200";
    o.projectFile = "job \"A\".TPJ";
    o.images = {{"APROM", "app.hex", 4096, 0x1F2E3D}, {"LDROM", "boot.bin", 2048, 77}};
    o.time = "2026-12-06T19:08:29+01:00";
    o.hostName = "station-3";
    o.durationMs = 1234;
    return o;
}

void expectSame(const ChipOutcome& a, const ChipOutcome& b) {
    EXPECT_EQ(recordLine(a), recordLine(b));
}

TEST(ProductionRecord, EntryReadsBackAsWrittenOnOneLine) {
    const ChipOutcome written = sampleOutcome("00000000,00000007");
    const std::string line = recordLine(written);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    std::string error;
    const auto read = parseRecordLine(line, &error);
    ASSERT_TRUE(read) << error;
    expectSame(*read, written);  // every field written is one read back

    EXPECT_FALSE(parseRecordLine(R"({"time": "2026-12-06"})", &error));
    EXPECT_FALSE(parseRecordLine("[1, 2]", &error));
}

// A torn last line (a writer killed mid-write, a power cut) is skipped; the next writer
// starts a fresh line, so its entry is intact and the fragment is reported where it lies.
TEST(ProductionRecord, TornAndBadLinesAreSkippedAndNamed) {
    test::ScratchDir dir;
    const std::string path = dir.file(recordFileNameFor("2026-12-06"));
    std::string error;
    ASSERT_TRUE(appendRecordLine(path, recordLine(sampleOutcome("1")), &error)) << error;
    const std::string second = recordLine(sampleOutcome("2"));
    {
        std::ofstream torn(path, std::ios::app | std::ios::binary);
        torn << second.substr(0, second.size() / 2);
    }
    ASSERT_TRUE(appendRecordLine(path, recordLine(sampleOutcome("3")), &error)) << error;
    {
        std::ofstream bad(path, std::ios::app | std::ios::binary);
        bad << "not json\n";
    }
    ASSERT_TRUE(appendRecordLine(path, recordLine(sampleOutcome("4")), &error)) << error;
    // Another day's file, and a file that is not a record, beside it.
    ASSERT_TRUE(appendRecordLine(dir.file(recordFileNameFor("2026-12-07")),
                                 recordLine(sampleOutcome("5")), &error));
    dir.write("production-notes.jsonl", "x");

    const RecordContents contents = readRecord(dir.path());
    std::vector<std::string> serials;
    for (const ChipOutcome& entry : contents.entries)
        serials.push_back(entry.serialNumber);
    EXPECT_EQ(serials, (std::vector<std::string>{"1", "3", "4", "5"}));
    ASSERT_EQ(contents.problems.size(), 2u);
    EXPECT_EQ(contents.problems[0].file, "production-2026-12-06.jsonl");
    EXPECT_EQ(contents.problems[0].line, 2u);
    EXPECT_EQ(contents.problems[1].line, 4u);
}

#if !defined(_WIN32)
// A FIFO under today's record name (nobody reading it) would block an open for writing or
// reading forever: the station gets an error at once, and the reader names the FIFO.
TEST(ProductionRecord, FifoInPlaceOfTheFileIsRefusedWithoutWaiting) {
    test::ScratchDir dir;
    const std::string path = dir.file(recordFileNameFor("2026-12-06"));
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(appendRecordLine(path, recordLine(sampleOutcome("1")), &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    const RecordContents contents = readRecord(dir.path());
    EXPECT_TRUE(contents.entries.empty());
    ASSERT_EQ(contents.problems.size(), 1u);
    EXPECT_EQ(contents.problems[0].reason, "not a regular file");
}
#endif

}  // namespace
}  // namespace tarnel

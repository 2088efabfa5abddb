#pragma once
// The production record: every chip outcome of the chip operations (update, verify, read,
// chip check), one JSON object per line, in one file per day in the working directory
// ("production-YYYY-MM-DD.jsonl"). An entry holds what was done to which chip with which
// images and what came of it; never image bytes, and nothing from the machine but its name.

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/chip_outcome.h"

namespace tarnel {

// "production-2026-12-06.jsonl" for an entry whose time starts "2026-12-06".
std::string recordFileNameFor(std::string_view isoTime);

// One entry as its line (without the line end) and back. The reading side refuses an entry
// that lacks a field or holds one of the wrong type, with the reason in *error.
std::string recordLine(const ChipOutcome& outcome);
std::optional<ChipOutcome> parseRecordLine(std::string_view line, std::string* error);

// True for the outcomes the record keeps: those of a chip operation in which a chip (or the
// link to it) had its say. A command refused for its input, its usage or a warning to the
// operator (download first, reset the counter) touched no chip.
bool recordKeeps(const ChipOutcome& outcome);

// Appends the outcomes it keeps to the day's file of the directory it is given.
class ProductionRecord : public OutcomeSink {
  public:
    // The directory is asked for at each entry: the working directory is settled only after
    // the record has been set up. `onError` hears of an entry that could not be written.
    ProductionRecord(std::function<std::string()> directory,
                     std::function<void(const std::string&)> onError);
    void chipOutcome(const ChipOutcome& outcome) override;

  private:
    std::function<std::string()> directory_;
    std::function<void(const std::string&)> onError_;
    std::mutex mutex_;
};

// Appends one line to a file, whole, and syncs it to the disk before returning; false (with
// the reason in *error) when it could not.
bool appendRecordLine(const std::string& path, std::string_view line, std::string* error);

// A line of a record file that was skipped: which file, which line (from 1), why.
struct RecordProblem {
    std::string file;
    std::size_t line = 0;
    std::string reason;
};

struct RecordContents {
    std::vector<ChipOutcome> entries;  // in file (day) order, then line order
    std::vector<RecordProblem> problems;
};

// Reads every day's file of the directory. Bad lines (and a last line cut short by a writer
// that was stopped mid-line) are skipped and listed; they never end the reading.
RecordContents readRecord(const std::string& directory);

}  // namespace tarnel

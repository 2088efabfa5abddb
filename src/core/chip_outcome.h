#pragma once
// What became of one chip in one command, and the listeners that hear of it.
//
// Every result a command shows (a PASS or FAIL box, a WARNING that ends it, the read-back
// viewer, the trim bytes of a chip check) becomes one ChipOutcome per chip: one for a single
// programmer, one per socket for the gang programmer, one per chip of the production loop.
// Outcomes are published before the result is shown to the operator, so a listener that
// stores them (the production record) has stored an entry for every result anyone has seen.
//
// Listeners run on the command's worker thread, one after the other, and must not throw.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel {

enum class ChipOperation { Update, Verify, Read, ChipCheck, Download, Information };

enum class Outcome { Pass, Fail, Warning };

// Why a command did not pass; each class is one exit status of the command line.
enum class FailureClass {
    None = 0,      // passed
    Chip = 1,      // the chip failed: program, verify, locked, wrong device id
    Usage = 2,     // the command was asked for wrongly
    Link = 3,      // no programmer (or chip boot loader) answered, or the link was lost
    Input = 4,     // an image, project or firmware file could not be used
    Operator = 5,  // a warning that needs the operator (download first, reset the counter)
};

// The exit status of a failure class.
constexpr int exitCodeOf(FailureClass failureClass) {
    return static_cast<int>(failureClass);
}

// One image as the job programmed or compared it: never its bytes.
struct ImageSummary {
    std::string region;  // "APROM", "DataFlash", "LDROM"
    std::string name;    // file name as shown
    std::uint32_t size = 0;
    std::uint32_t checksum = 0;  // the byte sum of the image
};

struct ChipOutcome {
    ChipOperation operation = ChipOperation::Update;
    int socket = 0;  // gang socket 1..4; 0 for a single programmer or ISP by COM Port
    Outcome outcome = Outcome::Pass;
    FailureClass failureClass = FailureClass::None;
    std::string failureText;   // the text of the box exactly as shown; empty on a pass
    std::string serialNumber;  // the S/N written to this chip ("hhhhhhhh,llllllll"), if any
    std::optional<std::uint32_t> chipCounter;  // after this chip, when counting is on

    std::string station;          // the station's name on a line; empty otherwise
    std::string port;             // without its device prefix
    std::string programmerKind;   // "ICP", "ISP", "Gang", "ISP by COM Port"
    std::string firmwareVersion;  // "0x0614"; empty when no programmer took part
    std::string partNumber;
    std::string projectFile;
    std::vector<ImageSummary> images;

    std::string time;             // ISO 8601 with the local offset, when the result was reached
    std::string hostName;         // the one thing taken from the machine
    std::int64_t durationMs = 0;  // from the command's start
};

std::string_view operationName(ChipOperation operation);
std::string_view outcomeName(Outcome outcome);
std::string_view failureClassName(FailureClass failureClass);
std::optional<ChipOperation> operationNamed(std::string_view name);
std::optional<Outcome> outcomeNamed(std::string_view name);
std::optional<FailureClass> failureClassNamed(std::string_view name);

class OutcomeSink {
  public:
    virtual ~OutcomeSink() = default;
    virtual void chipOutcome(const ChipOutcome& outcome) = 0;
};

// Hands each outcome to every listener added, in the order they were added. Listeners may be
// added and removed from any thread.
class OutcomeFanOut : public OutcomeSink {
  public:
    void add(OutcomeSink& sink);
    void remove(OutcomeSink& sink);
    void chipOutcome(const ChipOutcome& outcome) override;

  private:
    std::mutex mutex_;
    std::vector<OutcomeSink*> sinks_;
};

}  // namespace tarnel

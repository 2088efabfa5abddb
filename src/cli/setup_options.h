#pragma once
// The setup options shared by every command that builds a job from the command line: part,
// programmer type, image files, CONFIG words and the advanced settings.

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

#include "core/operator.h"
#include "core/programming_job.h"

namespace CLI {
class App;
}

namespace tarnel::cli {

struct SetupOptions {
    // Values are kept as given and checked when applied; an empty text means "not given".
    std::string part;          // part number (a former number is accepted) or catalogue index
    std::string type = "icp";  // icp, isp or com
    bool gang = false;
    std::string aprom;
    std::string dataFlash;
    std::string ldrom;
    std::string config0;  // hexadecimal words; either ticks CONFIG
    std::string config1;
    bool noConfig = false;
    std::string dataFlashPages;
    std::string usageTimes;       // 1..60000; enables the usage limit
    std::string serialNumber;     // up to 16 decimal digits; enables S/N programming
    std::string serialIncrement;  // up to 16 decimal digits
    std::string serialAddress;    // hexadecimal, 0..0x1FFF8 (a larger one is clamped)
    std::string chipCounter;      // 0..999999 (a larger one is clamped); enables the counter
    // On/off settings: not given keeps the settings file's value.
    std::optional<bool> countDown;     // --count-down / --count-up
    std::optional<bool> fastProtocol;  // --fast-protocol / --normal-protocol
    std::optional<bool> verifyOnly;    // --verify-only / --program
};

void addSetupOptions(CLI::App* command, SetupOptions& options);

// Sets the job up as the window would after the same choices: programmer type, part (with
// its derived state and default CONFIG words), the regions ticked for their files, CONFIG
// overrides, advanced settings; then the image files are read. Usage mistakes are reported
// on standard error; a file that cannot be read goes through the Operator. Returns an exit
// status (kExitPass when the job is ready).
int applySetupOptions(const SetupOptions& options, ProgrammingJob& job, Operator& op);

// kExitUsage (after a message on standard error) when an option names something that exists
// but is not a regular file; kExitPass otherwise.
int checkInputFiles(std::initializer_list<std::pair<const char*, const std::string*>> inputs);

}  // namespace tarnel::cli

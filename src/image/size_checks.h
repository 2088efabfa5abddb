#pragma once
// The checks the workers run before anything is sent: do the images fit the selected part
// and its CONFIG words, and may the serial number go where it is asked to.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/operator.h"
#include "core/programming_job.h"

namespace tarnel {

// The size of a limit as the messages show it: "%d Bytes" below 1 KB, "%d KB" for whole
// kilobytes, "%.1f KB" for half kilobytes, "%.2f KB" otherwise.
std::string limitText(std::uint32_t limit);

// Sets job.readLimit, the APROM length that Read Chip reads.
void computeReadLimit(ProgrammingJob& job);

// Each returns true when the job may proceed, and false after telling the operator why not:
// the three size checks through the FAIL box, checkSerialAddress through the WARNING box.
bool checkApromSize(ProgrammingJob& job, Operator& op);
bool checkDataFlashSize(ProgrammingJob& job, Operator& op);
bool checkLdromSize(ProgrammingJob& job, Operator& op);
bool checkSerialAddress(ProgrammingJob& job, Operator& op);

// The size checks of the regions the job updates, in order APROM, DataFlash, LDROM; stops at
// the first that fails.
bool checkImageSizes(ProgrammingJob& job, Operator& op);
// What an update checks before it starts: the image sizes, then the S/N address when S/N
// programming is on.
bool checkUpdateInputs(ProgrammingJob& job, Operator& op);

}  // namespace tarnel

#pragma once
// The programmer storage record: what Download Programmer stores and what the programmer
// reports back to Update Chip, built from the job and the selected part's catalogue row.

#include <array>
#include <cstdint>
#include <string_view>

#include "core/operator.h"
#include "core/programming_job.h"

namespace tarnel {

inline constexpr std::size_t kRecordByteFields = 52;  // fields 1..52, one byte each
inline constexpr std::size_t kPartNumberFieldSize = 16;
inline constexpr std::size_t kFileNameFieldSize = 64;

// The DataFlash base as the record carries it (bits 16..23, bits 8..15), by the first rule
// that applies to the part.
std::array<std::uint8_t, 2> dataFlashBase(const PartRecord& part,
                                          const std::array<std::uint8_t, 8>& configBytes);

// Fields 1..52 in wire order. Rebuilds the job's FLAGs byte for field 37.
std::array<std::uint8_t, kRecordByteFields> storageRecordFields(ProgrammingJob& job);

// Field 53: the part number in a zero-filled 16-byte field. A longer number is cut to 15
// characters so the field always ends with a NUL.
std::array<std::uint8_t, kPartNumberFieldSize> partNumberField(std::string_view partNumber);

// Fields 54..56: a shown file name in a zero-filled 64-byte field, cut to 63 characters.
std::array<std::uint8_t, kFileNameFieldSize> fileNameField(std::string_view name);

// The progress bar set to count `ticks` steps from 0.
void startProgress(Operator& op, int ticks);

// Two ticks per started 256-byte page of an image.
int pageTicks(const ImageBuffer& image);

}  // namespace tarnel

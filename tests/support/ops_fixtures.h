#pragma once
// Images and job set-up for the programmer operation tests.

#include <string>
#include <vector>

#include "core/programming_job.h"
#include "image/image_loader.h"
#include "support/link_bench.h"

namespace tarnel::testing {

// An image of `length` bytes of a pattern that differs from byte to byte, with its derived
// fields, a file name and a file time.
void setImage(ImageBuffer& image, ImageRegion region, std::uint32_t length, std::uint8_t seed,
              const std::string& name);

// Catalogue part `part` (ICP, or gang ICP) with a ticked APROM image of `length` bytes.
void apromJob(LinkBench& bench, std::uint32_t length, std::uint32_t part = 300, bool gang = false);

// Downloads the job (the gang preparation first), then forgets what the download showed and,
// given the device, the line's logs: the next command's own output is left.
void downloaded(LinkBench& bench, sim::LoopbackDevice* device = nullptr);

// What the image reload does after reading: the low sum bytes of unticked regions zeroed and
// the APROM CONFIG sum set.
void finishImages(ProgrammingJob& job);

// A simulated device finishes a command after its last answer; one more exchange (the version
// query) makes sure it has, before a test reads what the device holds.
void settle(LinkBench& bench);

// Turns S/N programming on at `address`, starting from `high`,`low`.
void setSerial(ProgrammingJob& job, std::uint32_t address, std::uint32_t high = 0,
               std::uint32_t low = 0);

// The byte of `value` at bit `shift`.
inline std::uint8_t byteOf(std::uint32_t value, int shift) {
    return static_cast<std::uint8_t>(value >> shift);
}

// `count` bytes of `bytes` from `offset`.
template <class Bytes>
std::vector<std::uint8_t> slice(const Bytes& bytes, std::size_t offset, std::size_t count = 8) {
    return {bytes.begin() + offset, bytes.begin() + offset + count};
}

std::vector<std::uint8_t> zeroPadded(const std::string& text, std::size_t size);

}  // namespace tarnel::testing

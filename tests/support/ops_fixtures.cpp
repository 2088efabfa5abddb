#include "support/ops_fixtures.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "operations/download.h"

namespace tarnel::testing {

void setImage(ImageBuffer& image, ImageRegion region, std::uint32_t length, std::uint8_t seed,
              const std::string& name) {
    for (std::uint32_t i = 0; i < length; ++i)
        image.data[i] = static_cast<std::uint8_t>(i * 7 + seed + (i >> 8));
    image.length = length;
    deriveImageFields(image, region);
    image.shownName = name;
    image.fileMinute = static_cast<std::uint8_t>(10 + seed);
    image.fileSecond = static_cast<std::uint8_t>(20 + seed);
    image.loaded = true;
}

void apromJob(LinkBench& bench, std::uint32_t length, std::uint32_t part, bool gang) {
    bench.selectPart(part, gang);
    bench.job.updateAprom = true;
    setImage(bench.job.imageAprom, ImageRegion::Aprom, length, 4, "app.bin");
    finishImages(bench.job);
}

void downloaded(LinkBench& bench, sim::LoopbackDevice* device) {
    if (bench.job.gangMode) {
        ASSERT_TRUE(prepareGangDownload(bench.session));
    }
    downloadWorker(bench.session);
    ASSERT_TRUE(bench.session.downloadSucceeded()) << ::testing::PrintToString(bench.op.boxes());
    bench.op.clear();
    if (device != nullptr)
        device->line().clearLogs();
}

void setSerial(ProgrammingJob& job, std::uint32_t address, std::uint32_t high, std::uint32_t low) {
    job.serialEnabled = true;
    job.serialAddress = address;
    job.serialHigh = high;
    job.serialLow = low;
}

void finishImages(ProgrammingJob& job) {
    for (const ImageRegion region : kImageRegions) {
        if (!updateFlagOf(job, region)) {
            imageOf(job, region).headerChecksum[0] = 0;
            imageOf(job, region).headerChecksum[1] = 0;
        }
    }
    unsigned sum = 0;
    for (const std::uint8_t byte : job.configBytes)
        sum += byte;
    job.imageAprom.configSum = {static_cast<std::uint8_t>(job.updateConfig ? sum : 0),
                                static_cast<std::uint8_t>(job.updateConfig ? sum >> 8 : 0)};
}

void settle(LinkBench& bench) {
    const bool answered = bench.job.gangMode ? bench.session.readGangFirmwareVersion()
                                             : bench.session.readFirmwareVersion();
    if (!answered)
        throw std::runtime_error("the simulated device did not answer the version query");
}

std::vector<std::uint8_t> zeroPadded(const std::string& text, std::size_t size) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.resize(size, 0);
    return bytes;
}

}  // namespace tarnel::testing

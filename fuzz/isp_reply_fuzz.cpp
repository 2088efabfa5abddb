// Any replies from a chip's boot loader in ISP by COM Port, through the loopback line on
// virtual time, one whole update (or production run) per input: it ends with busy clear and
// the port closed, and leaves the S/N and the chip counter alone unless it showed PASS.

#include "line_harness.h"

namespace {

using namespace tarnel;
using fuzzing::check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint8_t setup = data[0];
    auto script = std::make_shared<fuzzing::ReplyScript>(data + 1, size - 1);
    fuzzing::HostBench t(fuzzing::scriptedDevice(script));
    t.prepare(2 + (setup >> 5), kTypeIspByCom);
    ProgrammingJob& job = t.job();
    job.serialEnabled = (setup & 0x01) != 0;
    job.serialHigh = 1234;
    job.serialLow = 5678;
    job.incrementLow = 1;
    job.chipCounterEnabled = (setup & 0x02) != 0;
    job.chipCounter = 7;
    job.updateConfig = (setup & 0x04) != 0;
    job.updateDataFlash = job.updateDataFlash && (setup & 0x08) != 0;
    job.uartFastProtocol = (setup & 0x10) != 0;
    t.bench.searchIspPorts();

    t.bench.update();

    check(!t.bench.busy());
    check(!t.bench.link().isOpen());
    if (!t.passShown()) {
        check(job.serialHigh == 1234 && job.serialLow == 5678);
        check(job.chipCounter == 7);
    }
    return 0;
}

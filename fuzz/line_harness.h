#pragma once
// What the line fuzzers share: a device that answers every byte the host sends with the
// next chunk of the fuzz input, and a window's worth of host (a Workbench running commands
// on the calling thread) on a loopback line on virtual time, so a whole command runs per
// input and costs no real time.

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/workbench.h"
#include "image/image_loader.h"
#include "sim/synthetic_firmware.h"
#include "testkit/loopback_device.h"
#include "testkit/loopback_port.h"
#include "testkit/recording_operator.h"
#include "testkit/virtual_clock.h"

namespace tarnel::fuzzing {

inline void check(bool holds) {
    if (!holds)
        std::abort();
}

// The replies, as chunks: a head byte (low six bits the length; 0x40 late by 600 ms, 0x80
// late by 9 s, past every time-out) and that many bytes.
class ReplyScript {
  public:
    ReplyScript(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // Sends the next chunk; nothing once the script is spent.
    void answer(sim::DeviceLine& line) {
        if (at_ >= size_)
            return;
        const std::uint8_t head = data_[at_++];
        const std::size_t n = std::min<std::size_t>(head & 0x3F, size_ - at_);
        if (head & 0x80)
            line.clock().sleepMs(9000);
        else if (head & 0x40)
            line.clock().sleepMs(600);
        if (n > 0)
            line.replyBlock(data_ + at_, n);
        at_ += n;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// A device with a handler for every command byte: each byte from the host, the command byte
// and every one after it, gets the next chunk of the script.
inline sim::LoopbackDevice::MakeDevice scriptedDevice(std::shared_ptr<ReplyScript> script) {
    return [script](sim::DeviceLine& line) {
        auto device = std::make_unique<sim::SimDevice>(line);
        for (int command = 0; command < 256; ++command) {
            device->onCommand(static_cast<std::uint8_t>(command), [script, &line] {
                script->answer(line);
                while (line.poll(20))
                    script->answer(line);
            });
        }
        return device;
    };
}

// A scratch directory for the life of the fuzzer, with a small image of each region and
// the programmers' firmware files.
inline const std::string& scratchDirectory() {
    static const std::string path = [] {
        char name[] = "/tmp/tarnel-fuzz-XXXXXX";
        check(mkdtemp(name) != nullptr);
        const std::string dir(name);
        std::vector<std::uint8_t> bytes(700);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
        for (const char* file : {"/ap.bin", "/df.bin", "/ld.bin"}) {
            FILE* f = std::fopen((dir + file).c_str(), "wb");
            check(f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
            std::fclose(f);
        }
        sim::writeSyntheticFirmwareFiles(dir, kCarriedFirmwareVersion);
        return dir;
    }();
    return path;
}

// The host: a Workbench on the virtual clock with one port, "\\.\COM1", and the device.
struct HostBench {
    explicit HostBench(const sim::LoopbackDevice::MakeDevice& make)
        : device(clock, std::vector<sim::Fault>{}, make) {
        ports.setTable({"\\\\.\\COM1"});
        ports.attach("\\\\.\\COM1", device.line());
        job().workDirectory = scratchDirectory();
        job().setComPortName("\\\\.\\COM1");
        bench.session().setFirmwareDirectory(scratchDirectory());
    }
    ~HostBench() {
        bench.link().close();
        device.stop();
    }

    ProgrammingJob& job() { return bench.job(); }

    // Selects the part and the mode, and ticks the regions with the scratch images.
    void prepare(std::uint32_t partIndex, std::uint8_t programmerType) {
        ProgrammingJob& j = job();
        j.programmerType = programmerType;
        j.partIndex = partIndex;
        j.refreshDerivedState();
        const std::string& dir = scratchDirectory();
        chooseImageFile(j, 0, dir + "/ap.bin", op);
        chooseImageFile(j, 1, dir + "/df.bin", op);
        chooseImageFile(j, 2, dir + "/ld.bin", op);
        j.updateAprom = true;
        j.updateDataFlash = j.imageDataFlash.loaded;
        j.updateLdrom = true;
        j.updateConfig = true;
        reloadImages(j, op);
    }

    bool passShown() const {
        for (const auto& box : op.boxes())
            if (box.rfind("PASS", 0) == 0)
                return true;
        return false;
    }

    VirtualClock clock;
    VirtualClock::Participant host{clock};
    LoopbackPortFactory ports;
    sim::LoopbackDevice device;
    RecordingOperator op;
    Workbench bench{op, clock, ports, Workbench::RunOn::CallingThread};
};

}  // namespace tarnel::fuzzing

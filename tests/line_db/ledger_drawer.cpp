// A station standing for one line PC in the ledger tests: draws COUNT serial numbers from
// the ledger at LOCATION as STATION (reserve, mark sent, consume), prints each number it got
// on a line of its own, and retries a step that failed (the database away) until it goes
// through. Ends with "failures N": how many steps had to be retried.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/serial_ledger.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s LOCATION STATION COUNT\n", argv[0]);
        return 2;
    }
    const std::string location = argv[1];
    const std::string station = argv[2];
    const int count = std::atoi(argv[3]);
    std::string error;
    auto ledger = tarnel::openSerialLedger(location, {0, 1}, {0, 1}, &error);
    if (!ledger) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    int failures = 0;
    auto retry = [&](auto step) {
        while (!step()) {
            if (failures++ == 0)
                std::fprintf(stderr, "%s: %s\n", station.c_str(), error.c_str());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    for (int i = 0; i < count; ++i) {
        std::optional<tarnel::SerialReservation> r;
        retry([&] { return (r = ledger->reserve(station, &error)).has_value(); });
        // A step whose answer was lost may have been done: a hand-out no longer open (or
        // already marked) counts as done.
        retry([&] {
            return ledger->markSent(*r, &error) ||
                   error.find("no open hand-out") != std::string::npos;
        });
        retry([&] {
            return ledger->consume(*r, &error) ||
                   error.find("no open hand-out") != std::string::npos;
        });
        std::printf("%s\n", tarnel::serialDigits(r->value).c_str());
    }
    std::printf("failures %d\n", failures);
    return 0;
}

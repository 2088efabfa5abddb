#include "app/line_panel.h"

#include <cstdio>

#include "link/port_table.h"

namespace tarnel {

namespace {

std::string totalsOf(std::string prefix, unsigned passed, unsigned failed) {
    prefix += "Passed " + std::to_string(passed) + " \u00b7 Failed " + std::to_string(failed);
    if (const unsigned total = passed + failed; total > 0) {
        char yield[32];
        std::snprintf(yield, sizeof yield, " \u00b7 Yield %.1f %%", 100.0 * passed / total);
        prefix += yield;
    }
    return prefix;
}

PanelState resultColour(std::string_view result) {
    if (result == "PASS")
        return PanelState::Pass;
    if (result == "FAIL")
        return PanelState::Fail;
    if (result == "WARNING")
        return PanelState::Warning;
    return PanelState::Ready;
}

std::string stateWord(StationState state) {
    switch (state) {
        case StationState::Busy:
            return "RUNNING";
        case StationState::Failed:
            return "FAILED";
        default:
            return std::string(stationStateName(state));
    }
}

void fill(StationTile& tile, const StationStatus& status, StationKind kind) {
    const std::string kindText = !status.kind.empty()              ? status.kind
                                 : kind == StationKind::IspComPort ? "ISP by COM Port"
                                                                   : "programmer";
    tile.where = portDisplayName(status.port) + " \u00b7 " + kindText;
    tile.stateWord = stateWord(status.state);
    tile.colour = status.state == StationState::Busy     ? PanelState::Running
                  : status.state == StationState::Failed ? PanelState::Fail
                                                         : resultColour(status.lastResult);
    tile.result = status.lastResult;
    if (!status.lastText.empty() && !tile.result.empty())
        tile.result += ": " + status.lastText;
    tile.serial = status.serial.empty() ? std::string() : "S/N " + status.serial;
    tile.totals = totalsOf({}, status.passed, status.failed);
    tile.message = status.message;
    tile.startable = kind == StationKind::Programmer && status.state == StationState::Ready;
    tile.resumable = status.state == StationState::Stopped && !status.message.empty();
}

}  // namespace

LinePanel::LinePanel(const LineSetup& setup) {
    for (const StationSetup& station : setup.stations) {
        StationStatus status;
        status.name = station.name;
        status.port = station.port;
        StationTile tile;
        tile.name = station.name;
        fill(tile, status, station.kind);
        tiles_.push_back(std::move(tile));
        statuses_.push_back(std::move(status));
        kinds_.push_back(station.kind);
    }
}

int LinePanel::update(const StationStatus& status) {
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
        if (tiles_[i].name != status.name)
            continue;
        statuses_[i] = status;
        fill(tiles_[i], status, kinds_[i]);
        return static_cast<int>(i);
    }
    return -1;
}

unsigned LinePanel::passed() const {
    unsigned n = 0;
    for (const StationStatus& status : statuses_)
        n += status.passed;
    return n;
}

unsigned LinePanel::failed() const {
    unsigned n = 0;
    for (const StationStatus& status : statuses_)
        n += status.failed;
    return n;
}

std::string LinePanel::totalsText() const {
    return totalsOf("Line: ", passed(), failed());
}

std::vector<std::string> LinePanel::startKeys(std::size_t index) {
    std::vector<std::string> keys;
    const char digit = static_cast<char>('1' + index);
    if (index < 4)
        keys.push_back(std::string{'F', digit});
    if (index < 9)
        keys.push_back(std::string(1, digit));
    return keys;
}

}  // namespace tarnel

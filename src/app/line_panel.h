#pragma once
// What the line window shows, without a toolkit: one tile per station (the result panel in
// small) and the line's totals. Fed with each station's status as the runner reports it; the
// front hands the reports to its own thread first.

#include <string>
#include <string_view>
#include <vector>

#include "app/line_file.h"
#include "app/line_runner.h"
#include "app/result_panel.h"

namespace tarnel {

struct StationTile {
    std::string name;
    std::string where;      // "ttyUSB0 · ICP": the port without its device prefix, the kind
    std::string stateWord;  // "Starting", "Ready", "RUNNING", "Stopped", "FAILED"
    // The colour the tile is drawn in: running, the last result's, failed, or idle.
    PanelState colour = PanelState::Ready;
    std::string result;   // "PASS", "FAIL: Chip not ready !"; empty before the first chip
    std::string serial;   // "S/N 00000000,00000007" once a chip carried one
    std::string totals;   // "Passed 3 · Failed 1 · Yield 75.0 %"
    std::string message;  // why the station failed or stopped
    // The operator can start the station's next chip: a programmer station waiting for
    // its trigger. (ISP stations detect their chips by themselves.)
    bool startable = false;
    // The station stopped between chips with a reason (its ledger lost) and may go on.
    bool resumable = false;
};

class LinePanel {
  public:
    explicit LinePanel(const LineSetup& setup);

    // A station's new status; the index of its tile, or -1 for a station the line lacks.
    int update(const StationStatus& status);

    const std::vector<StationTile>& tiles() const { return tiles_; }
    unsigned passed() const;
    unsigned failed() const;
    // "Line: Passed 7 · Failed 1 · Yield 87.5 %" over every station.
    std::string totalsText() const;

    // The keys that start station `index` (from 0): F1..F4 for the first four, and the digit
    // 1..9 for the first nine (the window's own commands keep F5..F9).
    static std::vector<std::string> startKeys(std::size_t index);

  private:
    std::vector<StationTile> tiles_;
    std::vector<StationStatus> statuses_;
    std::vector<StationKind> kinds_;
};

}  // namespace tarnel

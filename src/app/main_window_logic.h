#pragma once
// The main window without a toolkit. Every handler is an operation on the job (through the
// Workbench) that leaves the window's control states in `state()`; a front applies them to
// its widgets after each call. Handlers run on the window's thread only.

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/recent_projects.h"
#include "app/result_panel.h"
#include "app/workbench.h"
#include "core/part_lists.h"
#include "image/image_loader.h"

namespace tarnel {

inline constexpr const char* kWindowTitle = "Corvale Tarnel Programmer, v6.19";
inline constexpr const char* kAboutMenuText = "&About Corvale Tarnel Programmer...";
inline constexpr const char* kAdvancedMenuText = "&Advanced Functions...";
inline constexpr const char* kAboutTitle = "About Corvale Tarnel Programmer";
inline constexpr const char* kAboutText = "Corvale Tarnel Programmer";
inline constexpr const char* kCloseWhileBusyTitle = "Command running";
inline constexpr const char* kCloseWhileBusyQuestion =
    "A command is still running. Closing now may leave the programmer or the chip "
    "half-written.\n\nClose anyway?";

// Every control of the window that carries state.
enum class Control {
    IspRadio,
    IcpRadio,
    ComIspRadio,
    ComPortList,
    GangBox,
    ProductionBox,
    FamilyList,
    PartList,
    ConfigBox,
    ConfigSetting,
    ItemsGroup,
    ApromBox,
    DataFlashBox,
    LdromBox,
    LoadFile,
    LoadProject,
    SaveProject,
    UpdateChip,
    VerifyChip,
    ReadChip,
    DownloadProgrammer,
    ProgrammerInformation,
    Exit,
    DownloadUpdateIsp,
    FwUpdate,
    Test,
    Cancel,
    ImageTabs,
    FileNameField,
    SizeLabel,
    SizeField,
    ChecksumField,
    ProgTypeLabel,
    ComPortNameField,
    SerialLabel,
    SerialField,
    CounterLabel,
    CounterField,
    Count,
};

inline constexpr std::size_t kControlCount = static_cast<std::size_t>(Control::Count);

struct ControlState {
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    std::string text;

    friend bool operator==(const ControlState&, const ControlState&) = default;
};

struct WindowState {
    std::array<ControlState, kControlCount> controls{};
    ListState familyList;
    ListState partList;
    ListState comPortList;
    std::vector<std::string> tabs;
    std::uint32_t currentTab = 0;
    // The hex view's bytes; imageRevision changes whenever they are replaced, so a front
    // only hands the bytes to its view when they changed.
    std::vector<std::uint8_t> imageBytes;
    std::uint64_t imageRevision = 0;

    ControlState& operator[](Control c) { return controls[static_cast<std::size_t>(c)]; }
    const ControlState& operator[](Control c) const {
        return controls[static_cast<std::size_t>(c)];
    }
};

// What "Exit" and closing the window lead to.
enum class ExitOutcome { Quit, Stay };

// What the external trigger did.
enum class TriggerOutcome { Started, NotQb7710, Busy };

// What a file dropped on the window is taken for, by its extension.
enum class DropKind { Image, Project, Unknown };
DropKind dropKindOf(std::string_view path);

// The region a tab's "Load File" dialog is for, and the dialog's filter.
struct LoadFileRequest {
    ImageRegion region;
    std::vector<std::pair<std::string, std::string>> filters;  // (description, pattern)
};

class MainWindowLogic {
  public:
    explicit MainWindowLogic(Workbench& bench);
    ~MainWindowLogic();
    MainWindowLogic(const MainWindowLogic&) = delete;
    MainWindowLogic& operator=(const MainWindowLogic&) = delete;

    const WindowState& state() const { return state_; }
    // The states as the window shows them: while a command runs, every control whose
    // handler would refuse the click looks disabled (the handlers still refuse on their own).
    WindowState shownState() const;
    // The window title: the program's, then the project's name once one was loaded or saved.
    std::string windowTitle() const;
    // The tooltip of a control: what it does, its shortcut, and why it is disabled.
    std::string tooltip(Control c) const;
    // The keyboard shortcut of a command ("Ctrl+U"), or empty.
    static std::string_view shortcut(Control c);

    const ResultPanel& panel() const { return panel_; }
    // What the front's Operator shows, as it shows it (on the window's thread): the panel
    // follows the status line and every box.
    void statusShown(std::string_view text) { panel_.statusShown(text); }
    void detailShown(std::string_view detail) { panel_.detailGiven(detail); }
    void resultShown(PanelState result, std::string_view text);
    void resetShiftTotals() { panel_.resetTotals(); }
    const RecentProjects& recentProjects() const { return recent_; }
    ProgrammingJob& job() { return bench_.job(); }
    Workbench& workbench() { return bench_; }

    // Start-up before the window is first shown.
    void startUp(const std::string& workDirectory);

    // Mode radios and boxes.
    void clickIsp();
    void clickIcp();
    void clickComPortIsp();
    // The operator chose entry `index` of the COM-port list (ISP by COM Port).
    void chooseComPort(int index);
    // Switches gang mode, except in ISP by COM Port and while a command runs (the box then
    // shows the mode as it is).
    void clickGang(bool ticked);
    void clickProductionMode(bool ticked);

    // Lists and tabs.
    void chooseFamily(std::uint32_t position);
    void choosePart(std::uint32_t position);
    void chooseTab(std::uint32_t tab);

    // Item boxes.
    void clickItem(ImageRegion region, bool ticked);
    void clickConfig(bool ticked);
    // "CONFIG Setting": true when the editor may open.
    bool mayOpenConfigEditor() const;

    // "Load File": the dialog to show for the current tab; nothing while busy or, after the
    // "Load file buffer error !" box, when the tab has no region.
    std::optional<LoadFileRequest> loadFileRequest();
    // The file the dialog returned (empty when cancelled).
    void loadFile(const std::string& path);
    // "Load\nProj" / "Save\nProj" with the chosen path; false when refused or failed.
    bool mayUseProjectFiles() const { return !bench_.busy(); }
    bool loadProject(const std::string& path);
    bool saveProject(const std::string& path);
    // A file dropped on the window: a project is loaded; an image goes into the region of
    // tab `tab` (the current tab when none). False when refused or failed.
    bool dropFile(const std::string& path, std::optional<std::uint32_t> tab);
    // Closing asks first while a command runs: the programmer may be left half-written.
    bool closeNeedsQuestion() const { return bench_.busy(); }
    // Hidden "test": the debug dump.
    void debugDump();

    // Commands; false when they did not start.
    bool downloadProgrammer();
    bool downloadUpdateIsp();
    bool updateChip();
    bool verifyChip();
    bool readChip();
    bool firmwareUpdate();
    void programmerInformation();
    // After a command's worker has ended: the S/N, counter and part controls the worker may
    // have changed.
    void commandEnded();

    // "Advanced Functions" edits the job, so it opens only while no worker runs.
    bool mayOpenAdvancedFunctions() const { return !bench_.busy(); }
    // After the "Advanced Functions" dialog closed.
    void advancedClosed();

    // External trigger message.
    TriggerOutcome trigger();

    // "Exit": Quit when the program may end (the settings were saved).
    ExitOutcome exit();
    // Close box, Escape, "CANCEL". beginClose switches a production run off and tells whether
    // a worker still runs; close waits for it, so nothing it uses is freed under it, then
    // saves the settings. A front whose operator blocks workers on its own thread must
    // release them (and wait for the worker without blocking) before it calls close.
    bool beginClose();
    void close();

    // Refresh operations, also used by the front after dialogs.
    void syncModeControls();
    void refreshPartControls();
    void refreshCommandButtons();
    void showSerialNumber();
    void showChipCounter();
    // The panel's programmer line from the last programmer found.
    void showProgrammer();

  private:
    // Hears each chip outcome on the worker's thread and keeps it until the window's thread
    // takes it into the panel.
    class OutcomeQueue : public OutcomeSink {
      public:
        void chipOutcome(const ChipOutcome& outcome) override;
        std::deque<ChipOutcome> take();

      private:
        std::mutex mutex_;
        std::deque<ChipOutcome> outcomes_;
    };
    void takeOutcomes();

    // Starts the COM-port search worker of ISP by COM Port, with its status line.
    void startComPortSearch();
    // The COM-port list as the search left it.
    void showComPortList();
    void syncModeRadios();
    void fillFamilyList();
    void setImageView(const ImageView& view);
    void disableFamilyList();
    void resetTabs();
    bool regionTicked(ImageRegion region) const;
    // Marks a command as running in the result panel around its start; false when it did
    // not start.
    template <class Start>
    bool startCommand(std::string_view name, Start start);
    void projectUsed(const std::string& path);
    std::string disabledReason(Control c) const;

    Workbench& bench_;
    WindowState state_;
    ResultPanel panel_;
    OutcomeQueue outcomes_;
    RecentProjects recent_;
    std::string projectName_;
};

// Texts shown in the window's fields.
std::string serialNumberText(std::uint32_t high, std::uint32_t low);  // "%08d,%08d"
std::string chipCounterText(std::uint32_t counter);                   // "%03d,%03d"

}  // namespace tarnel

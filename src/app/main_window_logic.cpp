#include "app/main_window_logic.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "image/project_file.h"
#include "link/port_table.h"
#include "link/programmer_kind.h"

namespace tarnel {

namespace {

constexpr std::uint32_t kQb7710First = 136;
constexpr std::uint32_t kQb7710Last = 147;

// The command buttons that a separator part disables, with the item boxes.
constexpr Control kSeparatorDisabled[] = {
    Control::DownloadProgrammer, Control::UpdateChip,    Control::VerifyChip,
    Control::ReadChip,           Control::ConfigSetting, Control::ConfigBox,
    Control::ApromBox,           Control::DataFlashBox,  Control::LdromBox,
};

Control boxOf(ImageRegion region) {
    switch (region) {
        case ImageRegion::Aprom:
            return Control::ApromBox;
        case ImageRegion::DataFlash:
            return Control::DataFlashBox;
        case ImageRegion::Ldrom:
            return Control::LdromBox;
    }
    return Control::ApromBox;
}

std::string threeDigits(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%03u", value);
    return text;
}

std::string eightDigits(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08u", value);
    return text;
}

// The controls whose handlers refuse a click while a command runs. "P.M.", "Exit" (in
// production mode) and "CANCEL" still act; "FwUpdate" is refused by its own busy test.
constexpr Control kRefusedWhileBusy[] = {
    Control::IspRadio,
    Control::IcpRadio,
    Control::ComIspRadio,
    Control::ComPortList,
    Control::GangBox,
    Control::FamilyList,
    Control::PartList,
    Control::ConfigBox,
    Control::ConfigSetting,
    Control::ApromBox,
    Control::DataFlashBox,
    Control::LdromBox,
    Control::LoadFile,
    Control::LoadProject,
    Control::SaveProject,
    Control::UpdateChip,
    Control::VerifyChip,
    Control::ReadChip,
    Control::DownloadProgrammer,
    Control::ProgrammerInformation,
    Control::DownloadUpdateIsp,
    Control::FwUpdate,
    Control::ImageTabs,
};

struct ControlHelp {
    Control control;
    std::string_view what;
    std::string_view shortcut;
};

constexpr ControlHelp kHelp[] = {
    {Control::IcpRadio, "Program the chip in-circuit through the programmer", ""},
    {Control::IspRadio, "Program the chip through its boot loader via the programmer", ""},
    {Control::ComIspRadio, "Program one chip through its boot loader on a COM port", ""},
    {Control::ComPortList, "The COM port the chip's boot loader is on", ""},
    {Control::GangBox, "Use the gang programmer with four sockets", ""},
    {Control::ProductionBox, "Program chip after chip until switched off", ""},
    {Control::FamilyList, "The chip's family", ""},
    {Control::PartList, "The chip's part number", ""},
    {Control::ConfigBox, "Write the CONFIG words too", ""},
    {Control::ConfigSetting, "Edit the CONFIG words", "Ctrl+G"},
    {Control::ApromBox, "Write the APROM image", ""},
    {Control::DataFlashBox, "Write the DataFlash image", ""},
    {Control::LdromBox, "Write the LDROM image", ""},
    {Control::LoadFile, "Load a HEX or binary file into the shown buffer (or drop it on the tabs)",
     "Ctrl+O"},
    {Control::LoadProject, "Load a project file (.TPJ), or drop one on the window", "Ctrl+L"},
    {Control::SaveProject, "Save the whole setup with its images as a project file", "Ctrl+S"},
    {Control::UpdateChip, "Program and verify the chip (all sockets in gang mode)", "F5"},
    {Control::VerifyChip, "Compare the chip with the images", "F6"},
    {Control::ReadChip, "Read the chip back and show it", "F7"},
    {Control::DownloadProgrammer, "Store the whole setup in the programmer", "F8"},
    {Control::ProgrammerInformation, "Show the setup stored in the programmer", "F9"},
    {Control::Exit, "Save the settings and end the program", "Ctrl+Q"},
    {Control::DownloadUpdateIsp, "Store the setup with the boot-loader update image", ""},
    {Control::FwUpdate, "Load the programmer's firmware again", ""},
    {Control::ImageTabs, "The image buffers; drop a HEX or binary file on a tab to load it", ""},
};

const ControlHelp* helpOf(Control c) {
    const auto* it = std::find_if(std::begin(kHelp), std::end(kHelp),
                                  [c](const ControlHelp& h) { return h.control == c; });
    return it == std::end(kHelp) ? nullptr : it;
}

bool refusedWhileBusy(Control c) {
    return std::find(std::begin(kRefusedWhileBusy), std::end(kRefusedWhileBusy), c) !=
           std::end(kRefusedWhileBusy);
}

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) ==
               std::toupper(static_cast<unsigned char>(b));
    });
}

}  // namespace

DropKind dropKindOf(std::string_view path) {
    if (endsWithNoCase(path, ".tpj"))
        return DropKind::Project;
    if (endsWithNoCase(path, ".hex") || endsWithNoCase(path, ".bin"))
        return DropKind::Image;
    return DropKind::Unknown;
}

std::string serialNumberText(std::uint32_t high, std::uint32_t low) {
    return eightDigits(high) + "," + eightDigits(low);
}

std::string chipCounterText(std::uint32_t counter) {
    return threeDigits(counter / 1000) + "," + threeDigits(counter % 1000);
}

MainWindowLogic::~MainWindowLogic() {
    bench_.outcomes().remove(outcomes_);
}

MainWindowLogic::MainWindowLogic(Workbench& bench) : bench_(bench) {
    bench_.outcomes().add(outcomes_);
    WindowState& s = state_;
    s[Control::IspRadio].text = "ISP";
    s[Control::IcpRadio].text = "ICP";
    s[Control::ComIspRadio].text = "ISP by COM Port...........";
    s[Control::GangBox].text = "Gang";
    s[Control::ProductionBox].text = "P.M.";
    s[Control::ConfigBox].text = "CONFIG.......";
    s[Control::ConfigSetting].text = "CONFIG Setting";
    s[Control::ItemsGroup].text = "Items to be Updated";
    s[Control::ApromBox].text = "APROM";
    s[Control::DataFlashBox].text = "DataFlash";
    s[Control::LdromBox].text = "LDROM";
    s[Control::LoadFile].text = "Load File";
    s[Control::LoadProject].text = "Load\nProj";
    s[Control::SaveProject].text = "Save\nProj";
    s[Control::UpdateChip].text = "Update Chip";
    s[Control::VerifyChip].text = "Verify Chip";
    s[Control::ReadChip].text = "Read Chip";
    s[Control::DownloadProgrammer].text = "Download\nProgrammer";
    s[Control::ProgrammerInformation].text = "Programmer\nInformation";
    s[Control::Exit].text = "Exit";
    s[Control::DownloadUpdateIsp].text = "Download\nUpdateISP.bin";
    s[Control::FwUpdate].text = "FwUpdate";
    s[Control::Test].text = "test";
    s[Control::Cancel].text = "CANCEL";
    s[Control::SizeLabel].text = "Code Size:";
    s[Control::ProgTypeLabel].text = "Prog. Type";
    s[Control::SerialLabel].text = "S/N:";
    s[Control::CounterLabel].text = "Chip Counter:";
    // Controls that exist but only the program itself reaches.
    for (Control c : {Control::IspRadio, Control::ComIspRadio, Control::ComPortList,
                      Control::ProductionBox, Control::DownloadUpdateIsp, Control::FwUpdate,
                      Control::Test, Control::Cancel, Control::ComPortNameField}) {
        s[c].visible = false;
    }
}

void MainWindowLogic::startUp(const std::string& workDirectory) {
    bench_.startUp(workDirectory);
    recent_.load(workDirectory);
    state_[Control::ComPortNameField].text = portDisplayName(bench_.job().comPortText());
    syncModeControls();
    fillFamilyList();
    refreshPartControls();
    state_[Control::IspRadio].enabled = false;
    state_[Control::ComIspRadio].enabled = false;
    state_[Control::ProgTypeLabel].text = "Prog. Type";
    showSerialNumber();
    showChipCounter();
    if (bench_.job().comPortIspMode)
        startComPortSearch();
}

// ---- refresh operations ----

void MainWindowLogic::syncModeRadios() {
    const ProgrammingJob& job = bench_.job();
    const std::uint8_t mode = job.programmerType & 0x0F;
    state_[Control::IspRadio].checked = mode == kTypeIsp;
    state_[Control::IcpRadio].checked = mode == kTypeIcp;
    state_[Control::ComIspRadio].checked = mode == kTypeIspByCom;
}

void MainWindowLogic::syncModeControls() {
    const ProgrammingJob& job = bench_.job();
    syncModeRadios();
    const std::uint8_t high = job.programmerType & 0xF0;
    state_[Control::GangBox].checked = high == kTypeGang;
    state_[Control::ProductionBox].checked = high == kTypeProduction;
    if ((job.programmerType & 0x0F) == kTypeIspByCom)
        state_[Control::GangBox].enabled = false;
}

void MainWindowLogic::fillFamilyList() {
    state_.familyList = tarnel::fillFamilyList(bench_.job());
    state_[Control::FamilyList].enabled = state_.familyList.enabled;
}

void MainWindowLogic::disableFamilyList() {
    state_.familyList.selected = 0;
    state_.familyList.enabled = false;
    state_[Control::FamilyList].enabled = false;
}

void MainWindowLogic::setImageView(const ImageView& view) {
    state_[Control::FileNameField].text = view.fileNameText;
    state_[Control::SizeField].text = view.sizeText;
    state_[Control::ChecksumField].text = view.checksumText;
    if (view.sizeLabel)
        state_[Control::SizeLabel].text = *view.sizeLabel;
    state_.imageBytes = view.bytes;
    ++state_.imageRevision;
}

void MainWindowLogic::resetTabs() {
    ProgrammingJob& job = bench_.job();
    const PartRecord& part = job.part();
    state_.tabs = {"APROM Buffer"};
    job.dataFlashTabShown = false;
    if (part.hasDataFlash) {
        state_.tabs.emplace_back("DataFlash Buffer");
        job.dataFlashTabShown = true;
    }
    if (job.icpMode && part.hasLdrom)
        state_.tabs.emplace_back("LDROM Buffer");
    state_.currentTab = 0;
    // The strip shows its first tab again, so that is where a refused change puts it back.
    job.activeTab = 0;
    state_[Control::SizeLabel].text = "Code Size:";
}

void MainWindowLogic::refreshPartControls() {
    ProgrammingJob& job = bench_.job();
    WindowState& s = state_;

    // 1. The part list of the current group.
    s.partList = fillPartList(job);
    job.partListIndex = s.partList.selected;

    // 2. The controls of ISP by COM Port.
    if (!job.comPortIspMode) {
        s.comPortList.entries.clear();
        s[Control::ComPortList].enabled = false;
        s[Control::GangBox].enabled = true;
        s[Control::ProductionBox].checked = false;
        s[Control::ProductionBox].enabled = false;
    } else {
        showComPortList();
        s[Control::ComPortList].enabled = true;
        s[Control::GangBox].checked = false;
        s[Control::GangBox].enabled = false;
        s[Control::ProductionBox].enabled = true;
    }

    // 3. Every item off.
    for (ImageRegion region : kImageRegions) {
        updateFlagOf(job, region) = false;
        s[boxOf(region)] = ControlState{false, true, false, s[boxOf(region)].text};
    }
    job.updateConfig = false;
    s[Control::ConfigBox].checked = false;
    s[Control::ConfigBox].enabled = false;
    s[Control::ConfigSetting].enabled = false;

    // 4, 5. Regions with a file are ticked; CONFIG by mode and part.
    const PartRecord& part = job.part();
    auto offer = [&](ImageRegion region) {
        if (!imageOf(job, region).loaded)
            return;
        updateFlagOf(job, region) = true;
        s[boxOf(region)].enabled = true;
        s[boxOf(region)].checked = true;
    };
    offer(ImageRegion::Aprom);
    if (part.hasDataFlash)
        offer(ImageRegion::DataFlash);
    if (!job.icpMode) {
        if (part.legacyConfig)
            s[Control::ConfigBox].enabled = true;
    } else {
        if (part.hasLdrom)
            offer(ImageRegion::Ldrom);
        s[Control::ConfigBox].enabled = true;
        if (part.is32Bit || part.isPike) {
            s[Control::ConfigBox].checked = true;
            job.updateConfig = true;
            s[Control::ConfigSetting].enabled = true;
        }
    }

    // 6. The tabs of the part.
    resetTabs();

    // 7. Buttons, images, and the separator rule last.
    refreshCommandButtons();
    reloadImages(job, bench_.op());
    setImageView(viewOfTab(job, s.currentTab));
    if (job.catalogue.isSeparator(job.partIndex)) {
        for (Control c : kSeparatorDisabled)
            s[c].enabled = false;
    }
}

bool MainWindowLogic::regionTicked(ImageRegion region) const {
    const ProgrammingJob& job = bench_.job();
    const bool flag = region == ImageRegion::Aprom       ? job.updateAprom
                      : region == ImageRegion::DataFlash ? job.updateDataFlash
                                                         : job.updateLdrom;
    return flag && imageOf(job, region).loaded;
}

void MainWindowLogic::refreshCommandButtons() {
    const ProgrammingJob& job = bench_.job();
    WindowState& s = state_;
    const PartRecord& part = job.part();

    // 1.
    for (Control c : {Control::DownloadProgrammer, Control::UpdateChip, Control::VerifyChip,
                      Control::ReadChip, Control::DownloadUpdateIsp}) {
        s[c].enabled = false;
    }
    s[Control::ProgrammerInformation].enabled = true;

    // 2.
    bool anyTicked = false;
    bool anyFile = false;
    for (ImageRegion region : kImageRegions) {
        anyTicked = anyTicked || regionTicked(region);
        anyFile = anyFile || imageOf(job, region).loaded;
    }
    if (anyTicked) {
        s[Control::DownloadProgrammer].enabled = true;
        s[Control::UpdateChip].enabled = true;
        s[Control::VerifyChip].enabled = true;
    }
    // 3.
    const bool apromTicked = regionTicked(ImageRegion::Aprom);
    if (part.legacyConfig && !apromTicked)
        s[Control::VerifyChip].enabled = false;
    // 4.
    if (apromTicked)
        s[Control::DownloadUpdateIsp].enabled = true;
    // 5.
    const bool ispMode = !job.icpMode && !job.comPortIspMode;
    if ((ispMode && part.legacyConfig) || job.icpMode)
        s[Control::ReadChip].enabled = true;
    if (job.comPortIspMode) {
        for (Control c : {Control::DownloadProgrammer, Control::ProgrammerInformation,
                          Control::VerifyChip, Control::ReadChip}) {
            s[c].enabled = false;
        }
    }
    // 6.
    if (!job.gangMode) {
        s[Control::UpdateChip].text = "Update Chip";
        s[Control::ItemsGroup].text = "Items to be Updated";
    } else if (!job.gangVerifyOnly) {
        s[Control::ItemsGroup].text = "Items to be Updated";
        s[Control::UpdateChip].text = "Update Chips";
        s[Control::VerifyChip].enabled = anyFile;
        s[Control::ReadChip].enabled = true;
    } else {
        s[Control::ItemsGroup].text = "Items to be Verified";
        s[Control::UpdateChip].text = "Verify Chips";
        s[Control::VerifyChip].enabled = false;
        s[Control::ReadChip].enabled = false;
    }
    if (job.gangMode && !job.icpMode) {
        s[Control::VerifyChip].enabled = false;
        s[Control::ReadChip].enabled = false;
    }
    // 7.
    s[Control::VerifyChip].text = job.icpMode ? "Verify Chip" : "Verify\nAPROM";
    s[Control::ReadChip].text = job.icpMode ? "Read Chip" : "Read\nCONFIG";
}

void MainWindowLogic::showSerialNumber() {
    const ProgrammingJob& job = bench_.job();
    const bool enabled = job.serialEnabled && (job.icpMode || job.comPortIspMode);
    state_[Control::SerialField].text = serialNumberText(job.serialHigh, job.serialLow);
    state_[Control::SerialField].enabled = enabled;
    state_[Control::SerialLabel].enabled = enabled;
}

void MainWindowLogic::showChipCounter() {
    const ProgrammingJob& job = bench_.job();
    state_[Control::CounterField].text = chipCounterText(job.chipCounter);
    state_[Control::CounterField].enabled = job.chipCounterEnabled;
    state_[Control::CounterLabel].enabled = job.chipCounterEnabled;
}

// ---- mode controls ----

void MainWindowLogic::clickIsp() {
    ProgrammingJob& job = bench_.job();
    if (bench_.busy() || (job.programmerType & 0x0F) == kTypeIsp) {
        syncModeRadios();
        return;
    }
    const bool leavingIcp = job.icpMode;
    job.catalogue.setLegacyListMasked(true);
    job.programmerType = job.gangMode ? kTypeGang : kTypeIsp;
    if (leavingIcp) {
        job.savedIcpPartIndex = job.partIndex;
        job.partIndex = job.savedIspPartIndex;
    }
    if (job.comPortFromIspSearch) {
        job.comPortName.fill('\0');
        job.comPortFromIspSearch = false;
    }
    job.refreshDerivedState();
    syncModeRadios();
    refreshPartControls();
    disableFamilyList();
    state_[Control::ProductionBox].checked = false;
    showSerialNumber();
}

void MainWindowLogic::clickIcp() {
    ProgrammingJob& job = bench_.job();
    if (bench_.busy() || job.icpMode) {
        syncModeRadios();
        return;
    }
    job.programmerType = job.gangMode ? kTypeGang | kTypeIcp : kTypeIcp;
    job.savedIspPartIndex = job.partIndex;
    job.partIndex = job.savedIcpPartIndex;
    if (job.comPortFromIspSearch) {
        job.comPortName.fill('\0');
        job.comPortFromIspSearch = false;
    }
    job.refreshDerivedState();
    syncModeRadios();
    fillFamilyList();
    refreshPartControls();
    showSerialNumber();
}

void MainWindowLogic::clickComPortIsp() {
    ProgrammingJob& job = bench_.job();
    if (bench_.busy() || job.comPortIspMode) {
        syncModeRadios();
        return;
    }
    const bool leavingIcp = job.icpMode;
    job.catalogue.setLegacyListMasked(false);
    job.programmerType = kTypeIspByCom;
    if (leavingIcp) {
        job.savedIcpPartIndex = job.partIndex;
        job.partIndex = job.savedIspPartIndex;
    }
    job.refreshDerivedState();
    syncModeRadios();
    refreshPartControls();
    disableFamilyList();
    job.usageLimitEnabled = false;
    showSerialNumber();
    resetProgress(bench_.op());
    startComPortSearch();
}

void MainWindowLogic::startComPortSearch() {
    bench_.op().setStatus("Search available COM Port...");
    bench_.startIspPortSearch();
}

void MainWindowLogic::showComPortList() {
    ListState& list = state_.comPortList;
    list.entries.clear();
    for (const std::string& name : bench_.isp().portList())
        list.entries.push_back(bench_.link().portText(name));
    const int selected = bench_.isp().selectedPort();
    list.selected = selected < 0 ? 0 : static_cast<std::uint32_t>(selected);
}

void MainWindowLogic::chooseComPort(int index) {
    if (bench_.busy() || !bench_.job().comPortIspMode) {
        showComPortList();
        return;
    }
    bench_.isp().selectPort(index);
    showComPortList();
}

void MainWindowLogic::clickGang(bool ticked) {
    ProgrammingJob& job = bench_.job();
    if (!bench_.busy() && !job.comPortIspMode) {
        job.programmerType =
            static_cast<std::uint8_t>((job.programmerType & 0x0F) | (ticked ? kTypeGang : 0));
        job.gangMode = ticked;
        job.productionMode = false;
        refreshCommandButtons();
    }
    state_[Control::GangBox].checked = job.gangMode;
}

void MainWindowLogic::clickProductionMode(bool ticked) {
    ProgrammingJob& job = bench_.job();
    if (bench_.busy()) {
        // Switching production mode off ends a running production loop.
        bench_.stopProductionMode();
        state_[Control::ProductionBox].checked = false;
        return;
    }
    if (ticked) {
        job.programmerType =
            static_cast<std::uint8_t>((job.programmerType & 0x0F) | kTypeProduction);
        job.productionMode = true;
        job.gangMode = false;
    } else {
        job.programmerType &= 0x0F;
        job.productionMode = false;
    }
    state_[Control::ProductionBox].checked = job.productionMode;
}

// ---- lists and tabs ----

void MainWindowLogic::chooseFamily(std::uint32_t position) {
    const SelectionOutcome out = selectFamily(bench_.job(), position);
    if (out.refused) {
        state_.familyList.selected = out.restorePosition;
        return;
    }
    state_.familyList.selected = position;
    if (out.partChanged)
        refreshPartControls();
}

void MainWindowLogic::choosePart(std::uint32_t position) {
    const SelectionOutcome out = selectPart(bench_.job(), position);
    if (out.refused) {
        state_.partList.selected = out.restorePosition;
        return;
    }
    state_.partList.selected = position;
    if (out.partChanged)
        refreshPartControls();
}

void MainWindowLogic::chooseTab(std::uint32_t tab) {
    ProgrammingJob& job = bench_.job();
    if (bench_.busy()) {
        state_.currentTab = job.activeTab;
        return;
    }
    job.activeTab = tab;
    state_.currentTab = tab;
    state_[Control::SizeLabel].text =
        tab == 1 && job.dataFlashTabShown ? "Data Size:" : "Code Size:";
    reloadImages(job, bench_.op());
    setImageView(viewOfTab(job, tab));
}

// ---- item boxes ----

void MainWindowLogic::clickItem(ImageRegion region, bool ticked) {
    ProgrammingJob& job = bench_.job();
    if (bench_.busy()) {
        state_[boxOf(region)].checked = updateFlagOf(job, region);
        return;
    }
    updateFlagOf(job, region) = ticked;
    state_[boxOf(region)].checked = ticked;
    refreshCommandButtons();
}

void MainWindowLogic::clickConfig(bool ticked) {
    ProgrammingJob& job = bench_.job();
    if (!bench_.busy())
        job.updateConfig = ticked;
    state_[Control::ConfigBox].checked = job.updateConfig;
    state_[Control::ConfigSetting].enabled = job.updateConfig;
}

bool MainWindowLogic::mayOpenConfigEditor() const {
    return !bench_.busy() && state_[Control::ConfigSetting].enabled;
}

// ---- files ----

std::optional<LoadFileRequest> MainWindowLogic::loadFileRequest() {
    ProgrammingJob& job = bench_.job();
    if (bench_.busy())
        return std::nullopt;
    const auto region = regionOfTab(job, state_.currentTab);
    if (!region) {
        chooseImageFile(job, state_.currentTab, {}, bench_.op());  // its error box
        return std::nullopt;
    }
    LoadFileRequest request{*region, {}};
    if (*region != ImageRegion::DataFlash) {
        request.filters.emplace_back("HEX Files (*.HEX)", "*.HEX");
        request.filters.emplace_back("Binary Files (*.BIN)", "*.BIN");
    }
    request.filters.emplace_back("All Files (*.*)", "*.*");
    return request;
}

void MainWindowLogic::loadFile(const std::string& path) {
    ProgrammingJob& job = bench_.job();
    const auto region = regionOfTab(job, state_.currentTab);
    if (!region || !chooseImageFile(job, state_.currentTab, path, bench_.op()))
        return;
    state_[boxOf(*region)].enabled = true;
    state_[boxOf(*region)].checked = true;
    setImageView(viewOfTab(job, state_.currentTab));
    refreshCommandButtons();
}

bool MainWindowLogic::loadProject(const std::string& path) {
    ProgrammingJob& job = bench_.job();
    const bool wasComPortIsp = job.comPortIspMode;
    if (bench_.busy())
        return false;
    if (!tarnel::loadProject(job, path, bench_.op())) {
        if (dropKindOf(path) == DropKind::Project && !std::filesystem::exists(path))
            recent_.remove(path);  // a recent project that has gone away
        return false;
    }
    projectUsed(path);
    const bool configFromFile = (job.flags & 0x01) != 0;
    state_[Control::ComPortNameField].text.clear();
    syncModeControls();
    fillFamilyList();
    refreshPartControls();
    job.updateConfig = configFromFile;
    state_[Control::ConfigBox].checked = configFromFile;
    state_[Control::ConfigSetting].enabled = configFromFile;
    state_[Control::GangBox].checked = job.gangMode;
    state_[Control::GangBox].enabled = !job.comPortIspMode;
    state_[Control::ProgTypeLabel].text = "Prog. Type";
    showSerialNumber();
    showChipCounter();
    if (job.comPortIspMode && !wasComPortIsp)
        startComPortSearch();
    return true;
}

bool MainWindowLogic::saveProject(const std::string& path) {
    if (bench_.busy() || !tarnel::saveProject(bench_.job(), path, bench_.op()))
        return false;
    projectUsed(path);
    bench_.op().setStatus("Project saved: " + projectName_);
    return true;
}

void MainWindowLogic::projectUsed(const std::string& path) {
    projectName_ = projectDisplayName(path);
    recent_.add(path);
}

bool MainWindowLogic::dropFile(const std::string& path, std::optional<std::uint32_t> tab) {
    if (bench_.busy())
        return false;
    switch (dropKindOf(path)) {
        case DropKind::Project:
            return loadProject(path);
        case DropKind::Image:
            if (tab && *tab < state_.tabs.size())
                chooseTab(*tab);
            if (!regionOfTab(bench_.job(), state_.currentTab))
                return false;
            loadFile(path);
            return !imageOf(bench_.job(), *regionOfTab(bench_.job(), state_.currentTab)).rejected;
        case DropKind::Unknown:
            break;
    }
    return false;
}

void MainWindowLogic::debugDump() {
    showDebugDump(bench_.job(), bench_.op());
}

// ---- commands ----

template <class Start>
bool MainWindowLogic::startCommand(std::string_view name, Start start) {
    if (bench_.busy())
        return false;
    panel_.commandStarted(name);
    const bool started = start();
    if (!started)
        panel_.commandEnded();  // its preparation failed and has shown why
    return started;
}

bool MainWindowLogic::downloadProgrammer() {
    return startCommand("Download Programmer", [this] { return bench_.download(false); });
}

bool MainWindowLogic::downloadUpdateIsp() {
    return startCommand("Download UpdateISP.bin", [this] { return bench_.download(true); });
}

bool MainWindowLogic::updateChip() {
    const std::string name =
        bench_.job().gangMode ? state_[Control::UpdateChip].text : std::string("Update Chip");
    return startCommand(name, [this] { return bench_.update(); });
}

bool MainWindowLogic::verifyChip() {
    return startCommand("Verify Chip", [this] { return bench_.verify(); });
}

bool MainWindowLogic::readChip() {
    return startCommand("Read Chip", [this] { return bench_.read(); });
}

bool MainWindowLogic::firmwareUpdate() {
    // Runs on this thread and talks to the programmer itself, so never beside a worker that
    // holds the same link.
    const bool done = startCommand("FwUpdate", [this] { return bench_.firmwareUpdate(); });
    commandEnded();
    return done;
}

void MainWindowLogic::programmerInformation() {
    if (startCommand("Programmer Information", [this] {
            bench_.programmerInformation();
            return true;
        }))
        commandEnded();
}

void MainWindowLogic::commandEnded() {
    const ProgrammingJob& job = bench_.job();
    takeOutcomes();
    panel_.commandEnded();
    showProgrammer();
    showSerialNumber();
    showChipCounter();
    syncModeControls();
    if (!job.comPortIspMode)
        state_[Control::ProductionBox].checked = false;
    else
        showComPortList();
    setImageView(viewOfTab(job, state_.currentTab));
}

void MainWindowLogic::advancedClosed() {
    showSerialNumber();
    showChipCounter();
    const ProgrammingJob& job = bench_.job();
    if (!job.gangMode)
        return;
    bool anyFile = false;
    for (ImageRegion region : kImageRegions)
        anyFile = anyFile || imageOf(job, region).loaded;
    if (job.gangVerifyOnly) {
        state_[Control::ItemsGroup].text = "Items to be Verified";
        state_[Control::UpdateChip].text = "Verify Chips";
        state_[Control::VerifyChip].enabled = false;
        state_[Control::ReadChip].enabled = false;
    } else {
        state_[Control::ItemsGroup].text = "Items to be Updated";
        state_[Control::UpdateChip].text = "Update Chips";
        state_[Control::VerifyChip].enabled = anyFile;
        state_[Control::ReadChip].enabled = true;
    }
}

TriggerOutcome MainWindowLogic::trigger() {
    if (bench_.busy())
        return TriggerOutcome::Busy;
    const std::uint32_t part = bench_.job().partIndex;
    if (part < kQb7710First || part > kQb7710Last) {
        debugMessage(bench_.op(), "Not QB7710 parts !");
        return TriggerOutcome::NotQb7710;
    }
    return bench_.chipCheck() ? TriggerOutcome::Started : TriggerOutcome::Busy;
}

// ---- what the window shows beside the controls ----

void MainWindowLogic::showProgrammer() {
    ProgrammerSession& session = bench_.session();
    const ProgrammerKindRow* row = rowOfKind(session.programmerKind());
    if (!row)
        return;
    char version[16];
    std::snprintf(version, sizeof version, "fw 0x%04X", session.firmwareVersion());
    panel_.setProgrammer(portDisplayName(bench_.job().comPortText()) + " \u00b7 " +
                         std::string(row->label) + " \u00b7 " + version);
}

void MainWindowLogic::OutcomeQueue::chipOutcome(const ChipOutcome& outcome) {
    std::lock_guard lock(mutex_);
    outcomes_.push_back(outcome);
}

std::deque<ChipOutcome> MainWindowLogic::OutcomeQueue::take() {
    std::lock_guard lock(mutex_);
    return std::exchange(outcomes_, {});
}

void MainWindowLogic::takeOutcomes() {
    // The shift totals count programmed chips: a chip that failed by itself counts as failed;
    // a missing programmer or a refused file is no chip's failure.
    for (const ChipOutcome& o : outcomes_.take()) {
        if (o.operation != ChipOperation::Update && o.operation != ChipOperation::Verify)
            continue;
        const bool passed = o.outcome == Outcome::Pass;
        if (!passed && o.failureClass != FailureClass::Chip)
            continue;
        panel_.chipOutcome(o.socket, passed, o.operation == ChipOperation::Update, o.serialNumber,
                           o.failureText);
    }
}

void MainWindowLogic::resultShown(PanelState result, std::string_view text) {
    takeOutcomes();
    panel_.resultShown(result, text);
}

WindowState MainWindowLogic::shownState() const {
    WindowState shown = state_;
    if (!bench_.busy())
        return shown;
    for (Control c : kRefusedWhileBusy)
        shown[c].enabled = false;
    if (!bench_.job().productionMode)
        shown[Control::Exit].enabled = false;
    return shown;
}

std::string MainWindowLogic::windowTitle() const {
    std::string title = kWindowTitle;
    if (!projectName_.empty())
        title += " \u2014 " + projectName_;
    return title;
}

std::string_view MainWindowLogic::shortcut(Control c) {
    const ControlHelp* help = helpOf(c);
    return help ? help->shortcut : std::string_view();
}

std::string MainWindowLogic::disabledReason(Control c) const {
    const ProgrammingJob& job = bench_.job();
    if (bench_.busy() && (refusedWhileBusy(c) || c == Control::Exit))
        return "Not while " +
               (panel_.command().empty() ? std::string("a command") : panel_.command()) + " runs";
    if (state_[c].enabled)
        return {};
    if (job.catalogue.partAt(job.partIndex).partNumber == "-")
        return "Choose a part first";
    switch (c) {
        case Control::DownloadProgrammer:
        case Control::UpdateChip:
        case Control::VerifyChip:
        case Control::DownloadUpdateIsp:
            return "Load a file and tick its region first";
        case Control::ApromBox:
        case Control::DataFlashBox:
        case Control::LdromBox:
            return "Load a file into this region first";
        case Control::ConfigSetting:
            return "Tick CONFIG first";
        default:
            return "Not available in this mode or for this part";
    }
}

std::string MainWindowLogic::tooltip(Control c) const {
    const ControlHelp* help = helpOf(c);
    if (!help)
        return {};
    std::string text(help->what);
    if (!help->shortcut.empty())
        text += " (" + std::string(help->shortcut) + ")";
    if (const std::string reason = disabledReason(c); !reason.empty())
        text += "\nDisabled: " + reason + ".";
    return text;
}

// ---- ending ----

ExitOutcome MainWindowLogic::exit() {
    ProgrammingJob& job = bench_.job();
    if (!bench_.busy()) {
        bench_.saveSettings();  // the program ends even when the file cannot be written
        return ExitOutcome::Quit;
    }
    if (job.productionMode)
        clickProductionMode(false);
    return ExitOutcome::Stay;
}

bool MainWindowLogic::beginClose() {
    // A production loop runs until production mode is off.
    if (bench_.busy() && bench_.job().productionMode)
        clickProductionMode(false);
    return bench_.busy();
}

void MainWindowLogic::close() {
    // The worker may still step the serial number or the counter: let it finish before the
    // settings are written.
    beginClose();
    bench_.waitForWorker();
    bench_.saveSettings();
}

}  // namespace tarnel

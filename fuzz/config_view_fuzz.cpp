// Any 8 CONFIG bytes under any part and any layout: the read-only views change nothing and
// show at most one choice per section; the DataFlash they show, and the one an edit writes,
// lies within the flash; a click writes the bits of the choice clicked.

#include <cstdlib>
#include <string>

#include "app/config_editor.h"
#include "core/chip_catalogue.h"

namespace {

using namespace tarnel;

void check(bool holds) {
    if (!holds)
        std::abort();
}

void checkSections(const ConfigEditorModel& model) {
    for (const auto& section : model.sections()) {
        int selected = 0;
        for (const auto& radio : section.radios)
            selected += radio.selected ? 1 : 0;
        check(selected <= 1);
    }
}

// The panel's DataFlash, start plus size, ends within the flash. The editor keeps the span
// it opened with while an LDROM click (Sonra) moves the base by the 4 KB the LDROM bit adds
// to the span; after LDROM off, a spin and LDROM on, the DataFlash ends those 4 KB past the
// opening span. Any other excess is a fault.
void checkPanel(const ConfigEditorModel& model, const EditorDesc& desc, const ConfigBytes& bytes) {
    const auto& panel = model.dataFlash();
    if (!panel.present || !desc.dataFlash || !panel.spinEnabled)
        return;
    const auto& p = *desc.dataFlash;
    check(p.pageSize > 0 && p.minPages <= p.maxPages);
    check(std::uint64_t{p.maxPages} * p.pageSize <= p.flashEnd);
    const std::uint64_t flashEnd =
        std::uint64_t{p.flashEnd} + (desc.layout == ConfigLayout::Sonra ? 0x1000 : 0);
    // The DataFlash starts on the page that holds the base address: a base the chip's words
    // give off a page boundary (low bits the flash ignores) counts from that page.
    const std::uint64_t given =
        p.wordLayout ? (config1Word(bytes) & ~0xFFu) : std::uint64_t{configByte(bytes, 1)} * 256;
    const std::uint64_t base = given - given % p.pageSize;
    const std::uint64_t pages = panel.spinPosition;
    if (base < flashEnd)
        check(base + pages * p.pageSize <= flashEnd);
}

bool holds(const ConfigBytes& bytes, const BitValue& v) {
    return (bytes[7 - v.streamByte] & v.mask) == (v.value & v.mask);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 11)
        return 0;
    const std::uint32_t index = (data[0] | data[1] << 8) % (kLastPartIndex + 1);
    std::optional<ConfigLayout> layout;
    if (data[2] % 12 < 11)
        layout = static_cast<ConfigLayout>(data[2] % 12);
    ConfigBytes bytes{};
    std::copy(data + 3, data + 11, bytes.begin());

    ProgrammingJob job;
    job.partIndex = index;
    const ConfigBytes jobBytes = job.configBytes;
    const PartRecord& part = job.catalogue.partAt(index);

    // The read-only views.
    (void)describeConfigView(job, index, bytes, layout);
    BitTableEditorModel table(job, index, true, &bytes);
    for (int p = 0; p < table.pageCount(); ++p)
        check(table.page(p).size() == 8);
    (void)table.readouts();
    if (auto view = ConfigEditorModel::open(job, index, true, &bytes, layout)) {
        checkSections(*view);
        checkPanel(*view, describeEditor(view->layout(), part, bytes, true), bytes);
    }
    check(job.configBytes == jobBytes);

    // Editing the same bytes: clicks and spin moves from the rest of the input.
    job.configBytes = bytes;
    auto editor = ConfigEditorModel::open(job, index, false, nullptr, layout);
    if (!editor)
        return 0;
    const EditorDesc desc = describeEditor(editor->layout(), part, bytes, false);
    for (std::size_t i = 11; i + 1 < size; i += 2) {
        if (data[i] == 0xFF) {
            editor->moveSpin(data[i + 1] * 37u);
        } else if (!desc.sections.empty()) {
            const std::size_t s = data[i] % desc.sections.size();
            const auto& radios = desc.sections[s].radios;
            if (radios.empty())
                continue;
            const std::size_t r = data[i + 1] % radios.size();
            const bool enabled =
                editor->sections()[s].enabled && editor->sections()[s].radios[r].enabled;
            editor->clickRadio(static_cast<int>(s), static_cast<int>(r));
            if (enabled && desc.sections[s].role == SectionRole::Plain) {
                for (const auto& v : radios[r].writes)
                    check(holds(job.configBytes, v));
            }
        }
        checkSections(*editor);
        checkPanel(*editor, desc, job.configBytes);
    }
    return 0;
}

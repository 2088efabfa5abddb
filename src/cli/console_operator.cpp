#include "cli/console_operator.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define STDOUT_FILENO 1
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/config_editor.h"
#include "cli/printable.h"
#include "core/atomic_file.h"
#include "core/chip_catalogue.h"

namespace tarnel::cli {

ConsoleOperator::ConsoleOperator() : terminal_(isatty(STDOUT_FILENO) != 0) {}

void ConsoleOperator::emitEvent(std::string_view name, const nlohmann::json& fields) {
    nlohmann::ordered_json event{{"event", name}};
    for (const auto& [key, value] : fields.items())
        event[key] = value;
    // Texts from files (names, project contents) need not be UTF-8: such bytes are replaced.
    std::cout << event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << std::endl;
}

void ConsoleOperator::endBarLine() {
    if (barShown_) {
        std::cout << "\n";
        barShown_ = false;
    }
}

void ConsoleOperator::drawBar() {
    if (!verbose_ || !terminal_ || maximum_ <= 0)
        return;
    constexpr int kWidth = 40;
    const int filled = std::clamp(position_ * kWidth / maximum_, 0, kWidth);
    std::cout << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
              << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] "
              << std::clamp(position_, 0, maximum_) << "/" << maximum_ << std::flush;
    barShown_ = true;
}

void ConsoleOperator::setStatus(std::string_view text) {
    if (json_) {
        emitEvent("status", {{"text", text}});
        return;
    }
    if (!verbose_ || text == "Ready...")
        return;
    endBarLine();
    std::cout << printable(text) << std::endl;
}

void ConsoleOperator::setProgressRange(int maximum) {
    maximum_ = maximum;
    position_ = 0;
}

void ConsoleOperator::setProgressStep(int step) {
    step_ = step;
}

void ConsoleOperator::setProgressPosition(int position) {
    position_ = position;
    if (json_) {
        emitEvent("progress", {{"step", position_}, {"total", maximum_}});
        return;
    }
    if (position > 0)
        drawBar();
}

void ConsoleOperator::stepProgress() {
    position_ += step_;
    if (json_) {
        emitEvent("progress", {{"step", position_}, {"total", maximum_}});
        return;
    }
    drawBar();
}

void ConsoleOperator::setPortText(std::string_view text) {
    // The window's port box also shows "COM???" while a scan runs; a terminal gets the port
    // that was found, once.
    if (!verbose_ || text == "COM???" || text == lastPort_)
        return;
    lastPort_ = text;
    if (json_) {
        emitEvent("port", {{"text", text}});
        return;
    }
    endBarLine();
    std::cout << "Port: " << printable(text) << std::endl;
}

void ConsoleOperator::setProgrammerTypeLabel(std::string_view text) {
    if (!verbose_)
        return;
    if (json_) {
        emitEvent("programmer", {{"text", text}});
        return;
    }
    endBarLine();
    std::cout << "Prog. Type: " << printable(text) << std::endl;
}

void ConsoleOperator::setDetail(std::string_view detail) {
    detail_ = detail;
}

void ConsoleOperator::showResultBox(ResultKind kind, std::string_view text, bool) {
    if (json_) {
        ++(kind == ResultKind::Pass ? passes_ : fails_);
        emitEvent("box", {{"kind", kind == ResultKind::Pass ? "pass" : "fail"},
                          {"caption", kind == ResultKind::Pass ? "PASS" : "FAIL"},
                          {"text", text}});
        return;
    }
    endBarLine();
    if (kind == ResultKind::Pass) {
        ++passes_;
        std::cout << "PASS: " << printable(text) << std::endl;
    } else {
        ++fails_;
        std::cerr << "FAIL: " << printable(text) << std::endl;
    }
    printDetail();
}

void ConsoleOperator::showMessageBox(std::string_view caption, std::string_view text, BoxIcon) {
    if (caption == "WARNING")
        ++warnings_;
    if (json_) {
        const char* kind = caption == "WARNING" ? "warning"
                           : caption == "ERROR" ? "error"
                                                : "message";
        emitEvent("box", {{"kind", kind}, {"caption", caption}, {"text", text}});
        return;
    }
    endBarLine();
    std::cerr << printable(caption) << ": " << printable(text) << std::endl;
    printDetail();
}

void ConsoleOperator::printDetail() {
    if (detail_.empty())
        return;
    std::cerr << "  " << printable(detail_) << std::endl;
    detail_.clear();
}

int ConsoleOperator::chooseSocket(int current) {
    const int chosen = socket_ >= 1 && socket_ <= 4 ? socket_ : current;
    if (json_)
        emitEvent("socket", {{"socket", chosen}});
    else if (verbose_)
        std::cout << "Chip in socket #" << chosen << std::endl;
    return chosen;
}

void ConsoleOperator::showReadBack(const ReadBackState& readBack, std::uint32_t partIndex) {
    endBarLine();
    const ChipCatalogue catalogue;
    const PartRecord& part = catalogue.partAt(partIndex);
    struct Region {
        const char* name;
        const std::vector<std::uint8_t>* bytes;
        std::size_t length;
        bool valid;
    };
    const Region regions[] = {
        {"APROM", &readBack.aprom, readBackBytes(readBack.apromReadLast), true},
        {"DataFlash", &readBack.dataFlash, readBackBytes(readBack.dataFlashReadLast),
         readBack.dataFlashReadValid},
        {"LDROM", &readBack.ldrom, readBackBytes(part.ldromLastAddress), readBack.ldromReadValid},
    };
    for (const auto& r : regions) {
        if (!r.valid)
            continue;
        const std::size_t length = std::min(r.length, r.bytes->size());
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < length; ++i)
            sum += (*r.bytes)[i];
        // A region the chip's CONFIG words leave empty was not read: its file is written
        // empty, so no older read is left standing in its place.
        std::string saved;
        if (!readBackDirectory_.empty()) {
            const auto path =
                std::filesystem::path(readBackDirectory_) / (std::string(r.name) + "_Contents.BIN");
            std::string error;
            const std::vector<std::uint8_t> bytes(r.bytes->begin(),
                                                  r.bytes->begin() + static_cast<long>(length));
            if (!writeFileAtomically(path.string(), bytes, &error)) {
                if (!json_)
                    std::cout << r.name << " Contents: not saved" << std::endl;
                ++saveFailures_;
                showResultBox(ResultKind::Fail, "Open file error !", false);
                continue;
            }
            saved = path.string();
        }
        if (json_) {
            emitEvent("readback", {{"region", r.name},
                                   {"size", length},
                                   {"checksum", sum & 0xFFFF},
                                   {"file", saved}});
            continue;
        }
        char line[96];
        if (length == 0) {
            std::snprintf(line, sizeof line, "%s Contents: nothing was read", r.name);
        } else {
            std::snprintf(line, sizeof line, "%s Contents: %zu bytes, checksum 0x%04X", r.name,
                          length, sum & 0xFFFF);
        }
        std::cout << line;
        if (!saved.empty())
            std::cout << " -> " << saved;
        std::cout << std::endl;
    }
}

void ConsoleOperator::showConfigView(ConfigLayout layout, std::uint32_t partIndex,
                                     const std::array<std::uint8_t, 8>& bytes) {
    endBarLine();
    char words[64];
    std::snprintf(words, sizeof words, "CONFIG0=0x%08X CONFIG1=0x%08X", config0Word(bytes),
                  config1Word(bytes));
    ProgrammingJob job;
    job.catalogue.setLegacyListMasked(false);
    const std::vector<std::string> lines = describeConfigView(job, partIndex, bytes, layout);
    if (json_) {
        emitEvent("config", {{"layout", layoutName(layout)}, {"words", words}, {"lines", lines}});
        return;
    }
    std::cout << "CONFIG (" << layoutName(layout) << "): " << words << std::endl;
    for (const std::string& line : lines)
        std::cout << "  " << printable(line) << "\n";
    std::cout.flush();
}

}  // namespace tarnel::cli

#include "image/size_checks.h"

#include <algorithm>
#include <cstdio>

#include "core/config_model.h"
#include "core/outcome_reporter.h"

namespace tarnel {

namespace {

// CONFIG0 bits 7..0 and 15..8, as the size rules name them.
std::uint8_t c0(const ProgrammingJob& job) {
    return job.configBytes[7];
}
std::uint8_t c0b1(const ProgrammingJob& job) {
    return job.configBytes[6];
}
bool c0Bit(const ProgrammingJob& job, int bit) {
    return (c0(job) >> bit & 1) != 0;
}

std::uint32_t apromSize(const PartRecord& part) {
    return part.apromLastAddress + 1;
}

// Limits are worked out in signed arithmetic: CONFIG words that put the DataFlash outside
// the flash would otherwise wrap an unsigned limit round to a huge one and let any image
// pass. Such a limit is taken as zero.
std::uint32_t clampLimit(std::int64_t limit) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(limit, 0, 0xFFFFFFFF));
}

// The space a DataFlash carved out of the top of a legacy or Pike APROM takes, by its base
// page in CONFIG byte 1.
std::int64_t carvedDataFlash(const ProgrammingJob& job, bool pike) {
    const std::int64_t top = pike ? 0x4000 : 0x10000;
    return top - std::int64_t{c0b1(job)} * 256;
}

// Step 2 of the APROM check: the APROM limit where the DataFlash is carved out of APROM and
// configured; otherwise the APROM size.
std::uint32_t apromLimit(const ProgrammingJob& job) {
    const PartRecord& part = job.part();
    std::int64_t limit = apromSize(part);
    if (!part.dataFlashInAprom)
        return clampLimit(limit);
    if (part.legacyConfig) {
        if (job.updateConfig && !c0Bit(job, 0))
            limit -= carvedDataFlash(job, part.isPike);
    } else if (part.is32Bit) {
        if (job.updateConfig && !c0Bit(job, 0) && !c0Bit(job, 2)) {
            limit = config1Word(job.configBytes) & 0x00FFFF00;
        }
        if (part.isSonra && job.updateConfig && !c0Bit(job, 2))
            limit += 0x1000;
    } else if (part.isPike) {
        if (job.updateConfig && !c0Bit(job, 0))
            limit -= carvedDataFlash(job, true);
    }
    return clampLimit(limit);
}

bool tooLarge(Operator& op, std::string_view what, std::uint32_t limit) {
    noteFailureClass(op, FailureClass::Input);
    showFail(op, std::string(what) + " is too large (> " + limitText(limit) + ") !");
    return false;
}

}  // namespace

std::string limitText(std::uint32_t limit) {
    char text[32];
    if (limit < 1024) {
        std::snprintf(text, sizeof text, "%u Bytes", static_cast<unsigned>(limit));
    } else if (limit % 1024 == 0) {
        std::snprintf(text, sizeof text, "%u KB", static_cast<unsigned>(limit / 1024));
    } else if (limit % 512 == 0) {
        std::snprintf(text, sizeof text, "%.1f KB", limit / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.2f KB", limit / 1024.0);
    }
    return text;
}

void computeReadLimit(ProgrammingJob& job) {
    const PartRecord& part = job.part();
    job.readLimit = 0x20000;
    if (part.isWren || part.isTeal)
        job.readLimit = apromSize(part);
    if (part.isSonra) {
        job.readLimit = job.updateConfig && !c0Bit(job, 2) ? 148480 : 144384;
    }
}

bool checkApromSize(ProgrammingJob& job, Operator& op) {
    const PartRecord& part = job.part();
    if (part.is32Bit)
        computeReadLimit(job);
    const std::uint32_t size = apromSize(part);
    if (part.dataFlashInAprom && job.updateDataFlash) {
        const std::uint64_t total =
            std::uint64_t{job.imageAprom.length} + job.imageDataFlash.length;
        const std::uint64_t allowed = c0Bit(job, 0) ? size : std::uint64_t{size} + 0x1000;
        if (total > allowed) {
            noteFailureClass(op, FailureClass::Input);
            showFail(op, "Total size is too large (> " + std::to_string(size / 1024) + " KB) !");
            return false;
        }
    }
    const std::uint32_t limit = apromLimit(job);
    if (job.imageAprom.length <= limit)
        return true;
    return tooLarge(op, "Code size for APROM", limit);
}

bool checkDataFlashSize(ProgrammingJob& job, Operator& op) {
    const PartRecord& part = job.part();
    if (part.is32Bit)
        computeReadLimit(job);
    std::int64_t limit = part.dataFlashSize;
    if (part.dataFlashInAprom && part.legacyConfig) {
        if (job.updateConfig) {
            if (c0Bit(job, 0)) {
                noteFailureClass(op, FailureClass::Input);
                showFail(op, "DataFlash is not enabled !");
                return false;
            }
            limit = carvedDataFlash(job, part.isPike);
        }
    } else if (part.dataFlashInAprom && (part.is32Bit || part.isPike)) {
        if (!job.updateConfig) {
            noteFailureClass(op, FailureClass::Input);
            showFail(op, "DataFlash space is not configured !");
            return false;
        }
        if (c0Bit(job, 0)) {
            noteFailureClass(op, FailureClass::Input);
            showFail(op, "DataFlash is not enabled !");
            return false;
        }
        if (!part.is32Bit) {
            limit = carvedDataFlash(job, true);
        } else if (c0Bit(job, 2)) {
            limit = 0x1000;
        } else {
            limit = std::int64_t{apromSize(part)} + 0x1000 -
                    (config1Word(job.configBytes) & 0x00FFFF00);
        }
    }
    const std::uint32_t allowed = clampLimit(limit);
    if (job.imageDataFlash.length <= allowed)
        return true;
    return tooLarge(op, "Data size for DataFlash", allowed);
}

bool checkLdromSize(ProgrammingJob& job, Operator& op) {
    const PartRecord& part = job.part();
    if (part.isSonra && !c0Bit(job, 2)) {
        noteFailureClass(op, FailureClass::Input);
        showFail(op, "LDROM is not enabled !");
        return false;
    }
    const std::uint32_t limit = part.ldromLastAddress + 1;
    if (job.imageLdrom.length <= limit)
        return true;
    return tooLarge(op, "Code size for LDROM", limit);
}

bool checkSerialAddress(ProgrammingJob& job, Operator& op) {
    if (!job.icpMode && !job.comPortIspMode)
        return true;
    const PartRecord& part = job.part();
    if (part.is32Bit) {
        if (job.serialAddress % 4 != 0) {
            showWarning(op, "Serial Number address must be a multiple of four (4) !");
            return false;
        }
        computeReadLimit(job);
    }
    // The eight serial-number bytes must fit below the limit; a limit under eight bytes
    // leaves no room at all.
    const std::uint32_t limit = apromLimit(job);
    if (limit < 8 || job.serialAddress > limit - 8) {
        char text[80];
        std::snprintf(text, sizeof text, "Serial Number address is too large (> 0x%X) !",
                      static_cast<unsigned>(limit < 8 ? 0 : limit - 8));
        showWarning(op, text);
        return false;
    }
    if (job.icpMode && job.serialAddress < job.imageAprom.length) {
        showWarning(op, "Serial Number address must be after the end of APROM code !");
        return false;
    }
    return true;
}

}  // namespace tarnel

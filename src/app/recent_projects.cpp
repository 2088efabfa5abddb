#include "app/recent_projects.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/atomic_file.h"

namespace tarnel {

namespace {

// A file larger than this is no list of eight paths.
constexpr std::uint64_t kMaxFileSize = 64 * 1024;

}  // namespace

void RecentProjects::load(const std::string& workDirectory) {
    filePath_ = (std::filesystem::path(workDirectory) / kRecentProjectsFileName).string();
    paths_.clear();
    std::vector<std::uint8_t> bytes;
    if (readWholeFile(filePath_, bytes, kMaxFileSize) != ReadResult::Ok)
        return;
    std::string line;
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        const char c = i < bytes.size() ? static_cast<char>(bytes[i]) : '\n';
        if (c == '\r')
            continue;
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty() && paths_.size() < kRecentProjectsKept &&
            std::find(paths_.begin(), paths_.end(), line) == paths_.end())
            paths_.push_back(line);
        line.clear();
    }
}

bool RecentProjects::add(const std::string& path) {
    std::erase(paths_, path);
    paths_.insert(paths_.begin(), path);
    if (paths_.size() > kRecentProjectsKept)
        paths_.resize(kRecentProjectsKept);
    return save();
}

bool RecentProjects::remove(const std::string& path) {
    std::erase(paths_, path);
    return save();
}

bool RecentProjects::save() const {
    if (filePath_.empty())
        return false;
    std::string text;
    for (const std::string& p : paths_)
        text += p + '\n';
    return writeFileAtomically(
        filePath_, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string projectDisplayName(std::string_view path) {
    std::string name = std::filesystem::path(path).filename().string();
    if (name.size() > 4) {
        std::string suffix = name.substr(name.size() - 4);
        std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (suffix == ".TPJ")
            name.resize(name.size() - 4);
    }
    return name;
}

}  // namespace tarnel

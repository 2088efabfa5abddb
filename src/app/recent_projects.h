#pragma once
// The projects the operator loaded or saved lately, newest first, kept in a small text file
// in the working directory (one path a line) so the System menu can offer them again.

#include <string>
#include <string_view>
#include <vector>

namespace tarnel {

inline constexpr const char* kRecentProjectsFileName = "recent_projects.txt";
inline constexpr std::size_t kRecentProjectsKept = 8;

class RecentProjects {
  public:
    // Reads the list from the file in workDirectory; a missing or unreadable file is an
    // empty list.
    void load(const std::string& workDirectory);
    // Puts path first (once), keeps the newest eight, and writes the file; false when the
    // file could not be written (the list in memory is still updated).
    bool add(const std::string& path);
    // Drops a path that no longer loads.
    bool remove(const std::string& path);
    const std::vector<std::string>& paths() const { return paths_; }

  private:
    bool save() const;

    std::string filePath_;
    std::vector<std::string> paths_;
};

// A project's name as the window shows it: the file name without its folder and ".TPJ".
std::string projectDisplayName(std::string_view path);

}  // namespace tarnel

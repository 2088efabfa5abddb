#include "support/scratch_dir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace tarnel::test {

ScratchDir::ScratchDir() {
#if defined(_WIN32)
    // No mkdtemp: a random name, taken only if it is new.
    std::random_device random;
    for (int attempt = 0; path_.empty(); ++attempt) {
        if (attempt == 100)
            throw std::runtime_error("cannot make a scratch directory");
        const auto candidate =
            std::filesystem::temp_directory_path() / ("tarnel-test-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error))
            path_ = candidate.generic_string();
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
#endif
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::file(std::string_view name) const {
    return path_ + "/" + std::string(name);
}

std::string ScratchDir::write(std::string_view name, const std::vector<std::uint8_t>& bytes) const {
    const std::string full = file(name);
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return full;
}

std::string ScratchDir::write(std::string_view name, std::string_view text) const {
    return write(name, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::string> ScratchDir::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tarnel::test

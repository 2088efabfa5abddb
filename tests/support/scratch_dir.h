#pragma once
// A fresh directory under the system's temporary directory, removed with everything in it
// when the object goes away, and small helpers to put files there and read them back.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnel::test {

class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(std::string_view name) const;
    // Writes the bytes (or text) as the file name; returns its full path.
    std::string write(std::string_view name, const std::vector<std::uint8_t>& bytes) const;
    std::string write(std::string_view name, std::string_view text) const;
    // The names of the entries in the directory, sorted.
    std::vector<std::string> entries() const;

  private:
    std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::vector<std::uint8_t> readBytes(const std::string& path);

}  // namespace tarnel::test

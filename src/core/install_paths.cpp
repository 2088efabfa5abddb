#include "core/install_paths.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tarnel {

std::string programDirectory() {
#if defined(_WIN32)
    char buffer[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    return std::filesystem::path(std::string(buffer, length)).parent_path().string();
#else
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string{} : self.parent_path().string();
#endif
}

std::string installedFirmwareDirectory() {
    const std::string program = programDirectory();
    if (program.empty())
        return {};
#if defined(_WIN32)
    return (std::filesystem::path(program) / "firmware").string();
#else
    return (std::filesystem::path(program).parent_path() / "share" / "tarnel" / "firmware")
        .string();
#endif
}

}  // namespace tarnel

// The COM-port list of ISP by COM Port and the file that remembers the port last used.

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/atomic_file.h"
#include "isp/isp_messages.h"
#include "isp/uart_isp.h"
#include "link/port_table.h"

namespace tarnel {

using namespace isp;

std::vector<std::string> UartIsp::portList() const {
    std::lock_guard lock(listMutex_);
    return portList_;
}

int UartIsp::selectedPort() const {
    std::lock_guard lock(listMutex_);
    return selected_;
}

void UartIsp::selectPort(int index) {
    std::lock_guard lock(listMutex_);
    selected_ = index >= 0 && index < static_cast<int>(portList_.size()) ? index : -1;
}

bool UartIsp::selectPortNamed(const std::string& name) {
    std::lock_guard lock(listMutex_);
    const auto found = std::find(portList_.begin(), portList_.end(), name);
    if (found == portList_.end())
        return false;
    selected_ = static_cast<int>(found - portList_.begin());
    return true;
}

std::string UartIsp::portFilePath() const {
    if (job_.workDirectory.empty())
        return isp::kPortFileName;
    return job_.workDirectory + "/" + isp::kPortFileName;
}

void UartIsp::searchIspPorts() {
    std::error_code error;
    std::ifstream file;
    if (std::filesystem::is_regular_file(portFilePath(), error))
        file.open(portFilePath(), std::ios::binary);
    if (file.is_open()) {
        // Only what fits the 16-byte field with its terminator is read; the rest is cut.
        std::array<char, kPortNameCapacity> content{};
        file.read(content.data(), static_cast<std::streamsize>(content.size() - 1));
        job_.comPortFromIspSearch = true;
        job_.setComPortName(
            std::string_view(content.data(), static_cast<std::size_t>(file.gcount())));
        op_.setPortText(link_.portText(job_.comPortText()));
    } else {
        const std::string name = kDefaultComPort;
        if (!writeFileAtomically(
                portFilePath(),
                std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size())))
            showFail(op_, kPortFileNotCreated);
    }
    link_.listAvailablePorts();
    {
        std::lock_guard lock(listMutex_);
        portList_ = link_.availablePorts();
        const auto found = std::find(portList_.begin(), portList_.end(), job_.comPortText());
        selected_ = portList_.empty()          ? -1
                    : found == portList_.end() ? 0
                                               : static_cast<int>(found - portList_.begin());
    }
    op_.beep(BeepKind::Default);
}

void UartIsp::savePortFile() {
    const std::string name = ispPortName();
    if (!writeFileAtomically(
            portFilePath(),
            std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size())))
        showFail(op_, kPortFileNotSaved);
}

}  // namespace tarnel

// Any text fed to the HEX converter: no write outside the destination, and a result that
// agrees with itself.

#include <cstdlib>
#include <vector>

#include "core/image_buffer.h"
#include "core/recording_operator.h"
#include "image/hex_converter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarnel::RecordingOperator op;
    std::vector<std::uint8_t> image(tarnel::kImageCapacity);
    std::uint32_t length = 0;
    tarnel::HexFailure failure;
    const bool ok =
        tarnel::convertHexToBinary(std::span(data, size), 0xFF, image, length, op, &failure);
    if (ok && (length == 0 || length > tarnel::kImageCapacity))
        std::abort();
    if (!ok && failure.error == tarnel::HexError::None)
        std::abort();
    return 0;
}

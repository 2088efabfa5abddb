#include "cli/printable.h"

#include <cstdio>

namespace tarnel::cli {

namespace {

void escape(std::string& out, unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", byte);
    out += text;
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c1) {
            escape(out, byte);
            escape(out, static_cast<unsigned char>(text[++i]));
        } else if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) {
            escape(out, byte);
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

}  // namespace tarnel::cli

#pragma once
// Text from files and from the programmer as it may go to a terminal: control characters
// (C0, DEL and the C1 range in UTF-8) are shown as \xHH escapes, so a file name cannot move
// the cursor, retitle the window or feed the terminal input. Newlines and tabs stay.

#include <string>
#include <string_view>

namespace tarnel::cli {

std::string printable(std::string_view text);

}  // namespace tarnel::cli

#include "cli/console_operator.h"

#include <iostream>

namespace tarnel::cli {

void ConsoleOperator::showResultBox(ResultKind kind, std::string_view text, bool) {
    if (kind == ResultKind::Pass) {
        std::cout << "PASS: " << text << std::endl;
    } else {
        std::cerr << "FAIL: " << text << std::endl;
    }
}

void ConsoleOperator::showMessageBox(std::string_view caption, std::string_view text, BoxIcon) {
    std::cerr << caption << ": " << text << std::endl;
}

}  // namespace tarnel::cli

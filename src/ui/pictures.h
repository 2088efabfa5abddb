#pragma once
// Pictures the program draws itself: the banner across the top of the window, the program
// icon, and the words of the PASS and FAIL boxes.

#include <QIcon>
#include <QPixmap>

namespace tarnel::ui {

QPixmap drawBanner();       // 979 x 51: logo at the left, red and orange stripes to the right
QIcon drawProgramIcon();    // a chip with a programming arrow
QPixmap drawPassPicture();  // 159 x 51: "PASS" in bold green capitals
QPixmap drawFailPicture();  // 132 x 49: "FAIL" in bold red capitals

}  // namespace tarnel::ui

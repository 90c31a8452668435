// The program's pictures, drawn at run time: the banner, the window icon,
// the three access lamps, the cable symbol and the header's sort arrows.
#pragma once

#include <QImage>
#include <QPixmap>

#include "dialog/DialogLogic.h"
#include "dialog/Looks.h"

namespace tarvel {

// 150 x 18, red lettering on white (normal) or on black (dark scheme).
QImage DrawBanner(bool dark);

// 32 x 32 in the 16 colours of the standard palette, transparent around.
QPixmap DrawAppIcon();

// 16 x 16: green idle, red busy, yellow after a failed synchronisation.
QPixmap DrawLamp(Lamp lamp);

// 26 x 11: the QAP-10 cable beside its radio button.
QPixmap DrawCableSymbol();

// 8 x 8, black on transparent: image 0 the upward triangle, image 1 the
// downward one (the file list's sort arrows). Null for any other image.
inline constexpr int kSortArrowPx = 8;
QPixmap DrawSortArrow(int image);

}  // namespace tarvel

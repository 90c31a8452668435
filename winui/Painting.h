// The window's own pictures in GDI: the banner, the access lamps, the cable
// symbol, the two-colour write progress and the dark background.
#pragma once

#include "winui/WinApi.h"

#include <string>

#include "dialog/DialogLogic.h"
#include "dialog/Looks.h"

namespace tarvel::winui {

constexpr COLORREF ToColorRef(Rgb colour) { return RGB(colour.r, colour.g, colour.b); }

// 150 x 18: red lettering on white, ANDed into the background, or on black
// in the dark scheme, copied. Clipped to `place`.
void PaintBanner(HDC dc, const RECT& place, bool dark);

// A 16 x 16 lamp centred in `place`: green idle, red busy, yellow after a
// failed synchronisation.
void PaintLamp(HDC dc, const RECT& place, Lamp lamp);

// 26 x 11: the QAP-10 cable, centred in `place`.
void PaintCableSymbol(HDC dc, const RECT& place);

// The write progress in its client rectangle: the filled part in the bar
// colour with the text in the highlight text colour, the rest in the
// button face with the window text, the text centred over both.
struct ProgressState {
  int lower = 0;
  int upper = 100;
  int position = 0;
  std::wstring text;
};
void PaintTextProgress(HDC dc, const RECT& client, const ProgressState& state, bool dark, HFONT font);

// The dark scheme's gradient, black to dark red, over the client area.
void PaintDarkBackground(HDC dc, const RECT& client);

}  // namespace tarvel::winui

#include "winui/Painting.h"

#include <algorithm>

namespace tarvel::winui {

namespace {

constexpr COLORREF kDarkBar = RGB(250, 0, 0);

void Fill(HDC dc, int x, int y, int width, int height, COLORREF colour) {
  const RECT r{x, y, x + width, y + height};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

// A GDI object selected for the life of the scope.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
  ~Selected() { SelectObject(m_dc, m_previous); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_previous;
};

COLORREF Scaled(COLORREF colour, int percent) {
  auto part = [percent](int value) { return std::clamp(value * percent / 100, 0, 255); };
  return RGB(part(GetRValue(colour)), part(GetGValue(colour)), part(GetBValue(colour)));
}

}  // namespace

void PaintBanner(HDC dc, const RECT& place, bool dark) {
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, kBannerWidthPx, kBannerHeightPx);
  {
    Selected keepBitmap(memory, bitmap);
    Fill(memory, 0, 0, kBannerWidthPx, kBannerHeightPx, ToColorRef(dark ? kBlack : kWhite));
    HFONT font = CreateFontW(-15, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Arial");
    {
      Selected keepFont(memory, font);
      SetTextCharacterExtra(memory, 3);
      SetTextColor(memory, ToColorRef(kBannerRed));
      SetBkMode(memory, TRANSPARENT);
      RECT text{0, 0, kBannerWidthPx, kBannerHeightPx - 1};
      DrawTextW(memory, L"TARVEL", -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      SIZE size{};
      GetTextExtentPoint32W(memory, L"TARVEL", 6, &size);
      // A rule either side of the name.
      const BannerRules rules = BannerRulesFor(size.cx);
      for (const PixelRect& rule : {rules.left, rules.right})
        Fill(memory, rule.x, rule.y, rule.width, rule.height, ToColorRef(kBannerRed));
    }
    DeleteObject(font);
    const int width = std::min<int>(place.right - place.left, kBannerWidthPx);
    const int height = std::min<int>(place.bottom - place.top, kBannerHeightPx);
    // On the normal background the banner's white must vanish: AND it in.
    BitBlt(dc, place.left, place.top, width, height, memory, 0, 0, dark ? SRCCOPY : SRCAND);
  }
  DeleteObject(bitmap);
  DeleteDC(memory);
}

void PaintLamp(HDC dc, const RECT& place, Lamp lamp) {
  const COLORREF base = ToColorRef(LampColour(lamp));
  const int x = (place.left + place.right - 16) / 2;
  const int y = (place.top + place.bottom - 16) / 2;
  HPEN pen = CreatePen(PS_SOLID, 1, Scaled(base, 45));
  HBRUSH brush = CreateSolidBrush(base);
  {
    Selected keepPen(dc, pen);
    Selected keepBrush(dc, brush);
    Ellipse(dc, x + 1, y + 1, x + 15, y + 15);
  }
  DeleteObject(brush);
  // A highlight up and to the left, as light falls on a lens.
  Fill(dc, x + 5, y + 4, 3, 2, Scaled(base, 170));
  DeleteObject(pen);
}

void PaintCableSymbol(HDC dc, const RECT& place) {
  const int x = (place.left + place.right - 26) / 2;
  const int y = (place.top + place.bottom - 11) / 2;
  HPEN pen = CreatePen(PS_SOLID, 1, ToColorRef(kBlack));
  HBRUSH silver = CreateSolidBrush(ToColorRef(kSilver));
  HBRUSH gray = CreateSolidBrush(ToColorRef(kGray));
  {
    Selected keepPen(dc, pen);
    {
      // The serial plug with two rows of pins.
      Selected keepBrush(dc, silver);
      Rectangle(dc, x, y + 1, x + 9, y + 10);
    }
    for (int pin = 0; pin < 3; ++pin) {
      Fill(dc, x + 2 + 2 * pin, y + 3, 1, 1, ToColorRef(kBlack));
      Fill(dc, x + 2 + 2 * pin, y + 6, 1, 1, ToColorRef(kBlack));
    }
    // The cable with its converter box, and the radio's jack.
    Fill(dc, x + 9, y + 4, 4, 2, ToColorRef(kBlack));
    Selected keepBrush(dc, gray);
    Rectangle(dc, x + 13, y + 2, x + 20, y + 9);
  }
  Fill(dc, x + 20, y + 4, 3, 2, ToColorRef(kBlack));
  Fill(dc, x + 23, y + 3, 3, 4, ToColorRef(kMaroon));
  DeleteObject(gray);
  DeleteObject(silver);
  DeleteObject(pen);
}

void PaintTextProgress(HDC dc, const RECT& client, const ProgressState& state, bool dark, HFONT font) {
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  // The inner rectangle is the client area less a pixel all round.
  const int innerRight = width - 1;
  const int filled = std::max(FilledWidth(state.lower, state.upper, state.position, innerRight), 0);
  const RECT inner{1, 1, width - 1, height - 1};
  const RECT filledPart{1, 1, 1 + filled, height - 1};
  const COLORREF bar = dark ? kDarkBar : GetSysColor(COLOR_HIGHLIGHT);

  Selected keepFont(dc, font);
  SetBkMode(dc, TRANSPARENT);
  const int saved = SaveDC(dc);
  // The unfilled part first, then the filled part over it with its own
  // text colour, each clipped to its part.
  Fill(dc, 0, 0, width, height, GetSysColor(COLOR_BTNFACE));
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  RECT text = inner;
  DrawTextW(dc, state.text.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (filled > 0) {
    IntersectClipRect(dc, filledPart.left, filledPart.top, filledPart.right, filledPart.bottom);
    Fill(dc, 0, 0, width, height, bar);
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    text = inner;
    DrawTextW(dc, state.text.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  RestoreDC(dc, saved);
}

void PaintDarkBackground(HDC dc, const RECT& client) {
  const int bottom = client.bottom;
  for (int y = 0; y <= bottom; ++y) {
    const int pen = GradientPen(y, bottom);
    if (pen < 0) return;
    Fill(dc, 0, y, client.right, 1, RGB(3 * pen, 0, 0));
  }
}

}  // namespace tarvel::winui

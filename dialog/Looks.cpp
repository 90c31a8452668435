#include "dialog/Looks.h"

#include "dialog/DialogTemplate.h"

namespace tarvel {

std::optional<Rgb> StaticTextColour(int id, bool dark) {
  constexpr Rgb kVersionBlue{0, 0, 255};
  constexpr Rgb kStatusRed{255, 0, 0};
  constexpr Rgb kDarkVersionYellow{255, 255, 0};
  constexpr Rgb kDarkStaticGreen{0, 255, 0};
  if (id == IDC_STATUS_TEXT) return kStatusRed;
  // The boxes' fields are white in either scheme: green on white is hard to read.
  if (id == IDC_PORT || id == IDC_BAUD) return std::nullopt;
  if (!dark) {
    if (id == IDC_VERSION) return kVersionBlue;
    if (id == IDC_PORT_HINT) return kGray;
    return std::nullopt;
  }
  if (id == IDC_VERSION) return kDarkVersionYellow;
  if (id == IDC_COMMENT) return kDarkText;
  return kDarkStaticGreen;
}

Rgb LampColour(Lamp lamp) {
  switch (lamp) {
    case Lamp::Busy:
      return {220, 20, 20};
    case Lamp::Error:
      return {240, 200, 0};
    case Lamp::Idle:
      break;
  }
  return {20, 170, 40};
}

BannerRules BannerRulesFor(int textWidthPx) {
  const int left = (kBannerWidthPx - textWidthPx) / 2 - 6;
  const int right = (kBannerWidthPx + textWidthPx) / 2 + 4;
  return {PixelRect{4, 8, left - 4, 2}, PixelRect{right, 8, kBannerWidthPx - 4 - right, 2}};
}

bool IsHexKey(char32_t c) {
  return c == 8 || c == 9 || c == U'.' || (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'F') ||
         (c >= U'a' && c <= U'f');
}

}  // namespace tarvel

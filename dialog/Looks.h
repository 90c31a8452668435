// How the main window and its file dialogs look, whatever draws them: the
// text colours of both schemes, the lamp colours, the banner's geometry, and
// which keys a block field lets through.
#pragma once

#include <cstdint>
#include <optional>

#include "dialog/DialogLogic.h"

namespace tarvel {

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

// The standard 16-colour palette that the icon and the cable symbol keep to.
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kMaroon{128, 0, 0};
inline constexpr Rgb kGray{128, 128, 128};
inline constexpr Rgb kSilver{192, 192, 192};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kTeal{0, 128, 128};
inline constexpr Rgb kAqua{0, 255, 255};
inline constexpr Rgb kWhite{255, 255, 255};

// The dark scheme's file list and comment text.
inline constexpr Rgb kDarkText{128, 0, 0};
// The converter panel's labels in the dark scheme.
inline constexpr Rgb kDarkPanelLabel{192, 0, 0};

// The text colour of a static control of the main dialog (labels, frames,
// radio buttons, check boxes, the comment box) by its id; none where the
// platform's colour stays. Normal scheme: the version blue, the status
// text red, the port box's hint grey. Dark scheme: the version yellow, the
// status text red, the comment dark red, every other static control green. The port and speed
// boxes keep the platform's colours in both.
std::optional<Rgb> StaticTextColour(int id, bool dark);

// 16 x 16: green idle, red busy, yellow after a failed synchronisation.
Rgb LampColour(Lamp lamp);

// The banner: 150 x 18, "TARVEL" in red, centred, with a 2-pixel rule
// either side of the name at row 8, 4 pixels in from each end.
inline constexpr int kBannerWidthPx = 150;
inline constexpr int kBannerHeightPx = 18;
inline constexpr Rgb kBannerRed{255, 64, 64};
struct BannerRules {
  PixelRect left;
  PixelRect right;
};
// The rules for a name `textWidthPx` wide.
BannerRules BannerRulesFor(int textWidthPx);

// A block field (START, END, End Block) takes only Backspace, Tab, '.' and
// hexadecimal digits.
bool IsHexKey(char32_t c);

}  // namespace tarvel

// What each programming cable means to the tool, in one table: the names the
// command line takes, the speeds offered, the framing, the line switches and
// the pacing of the synchronisation. Everything that differs by cable reads
// it from here.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/Cable.h"

namespace tarvel {

struct CableFacts {
  Cable cable;
  // The value of LoaderContext::m_nType and of the settings' interface type.
  int type;
  // The name the command line prints and the JSON carries ("qap8"), and the
  // one the window and the messages show ("QAP-8").
  std::string_view name;
  std::string_view label;
  // What --cable and TARVEL_CABLE take, compared without regard to case.
  std::array<std::string_view, 2> spellings;
  // The line speeds offered, in baud, slowest first.
  std::span<const unsigned> speeds;
  // Each packet goes out behind an 8-byte frame header.
  bool framed;
  // "+5V" and "MD" drive the cable's lines.
  bool lineSwitches;
  // Between two looks for the loader's answer while synchronising.
  std::chrono::milliseconds syncPacing;
  // Looks for the answer to the first sync byte or wake-up frame, and for
  // the letter after it.
  int zeroLooks;
  int letterLooks;
  // The level that DTR and RTS are left at when the port closes.
  bool linesHighAfter;
};

namespace cable_detail {
inline constexpr unsigned kQap8Speeds[] = {9600, 14400, 19200, 38400, 56000, 115200};
inline constexpr unsigned kQap10Speeds[] = {38400, 115200};
}  // namespace cable_detail

inline constexpr std::array<CableFacts, 2> kCables{{
    {Cable::Qap8, 0, "qap8", "QAP-8", {"qap8", "qap-8"}, cable_detail::kQap8Speeds, false, true,
     std::chrono::milliseconds{1}, 25, 128, false},
    {Cable::Qap10, 1, "qap10", "QAP-10", {"qap10", "qap-10"}, cable_detail::kQap10Speeds, true, false,
     std::chrono::milliseconds{10}, 25, 50, true},
}};

constexpr const CableFacts& FactsOf(Cable cable) { return kCables[cable == Cable::Qap10 ? 1 : 0]; }

// m_nType and the settings keep the cable as an integer: only QAP-10's value
// selects QAP-10, any other reads as QAP-8.
constexpr Cable CableOfType(int type) { return type == FactsOf(Cable::Qap10).type ? Cable::Qap10 : Cable::Qap8; }
constexpr int TypeOfCable(Cable cable) { return FactsOf(cable).type; }

// Interface cable types, as stored in the settings.
inline constexpr int kTypeQap8 = TypeOfCable(Cable::Qap8);
inline constexpr int kTypeQap10 = TypeOfCable(Cable::Qap10);

// The cable one of the spellings names, ignoring case; none for anything else.
std::optional<Cable> CableNamed(std::string_view text);

// Whether the cable offers `baud`.
bool SpeedOffered(Cable cable, unsigned baud);

// The cable's speeds as a sentence's list: "38400 or 115200".
std::string SpeedList(Cable cable);

}  // namespace tarvel

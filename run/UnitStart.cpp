#include "run/UnitStart.h"

#include <algorithm>
#include <array>
#include <utility>

#include "base/AsciiCase.h"

namespace tarvel {

namespace {

constexpr std::array<std::pair<StartMode, std::string_view>, 4> kModes{{
    {StartMode::Keys, "keys"},
    {StartMode::Insert, "insert"},
    {StartMode::Answer, "answer"},
    {StartMode::Line, "line"},
}};
constexpr std::array<std::pair<StartLine, std::string_view>, 3> kLines{{
    {StartLine::Cts, "cts"},
    {StartLine::Dsr, "dsr"},
    {StartLine::Dcd, "dcd"},
}};

// The signals a mode heeds: the unit arrived, the unit left.
struct Heeded {
  UnitSignal arrived;
  UnitSignal left;
};
std::optional<Heeded> HeededBy(StartMode mode) {
  switch (mode) {
    case StartMode::Insert: return Heeded{UnitSignal::Appeared, UnitSignal::Vanished};
    case StartMode::Answer: return Heeded{UnitSignal::Answered, UnitSignal::Silent};
    case StartMode::Line: return Heeded{UnitSignal::Rose, UnitSignal::Fell};
    case StartMode::Keys: break;
  }
  return std::nullopt;
}

UnitStart Left(UnitStart state) {
  state.present = false;
  if (state.phase == UnitPhase::Remove) state.phase = UnitPhase::Waiting;
  return state;
}

}  // namespace

std::string_view NameOf(StartMode mode) {
  for (const auto& [known, name] : kModes) {
    if (known == mode) return name;
  }
  return {};
}

std::optional<StartMode> StartModeNamed(std::string_view name) {
  for (const auto& [mode, known] : kModes) {
    if (EqualsNoCase(name, known)) return mode;
  }
  return std::nullopt;
}

std::string_view NameOf(StartLine line) {
  for (const auto& [known, name] : kLines) {
    if (known == line) return name;
  }
  return {};
}

std::optional<StartLine> StartLineNamed(std::string_view name) {
  for (const auto& [line, known] : kLines) {
    if (EqualsNoCase(name, known)) return line;
  }
  return std::nullopt;
}

UnitStart AfterSignal(StartMode mode, UnitStart state, UnitSignal signal) {
  const std::optional<Heeded> heeded = HeededBy(mode);
  if (!heeded) return state;
  if (signal == heeded->arrived) {
    state.present = true;
    state.silentPolls = 0;
    return state;
  }
  if (signal != heeded->left) return state;
  if (mode != StartMode::Answer) return Left(state);
  // One poll may go unanswered by a radio that is there (a busy loader, a
  // byte lost): only a second in a row says the unit is gone.
  state.silentPolls = std::min(state.silentPolls + 1, kSilentPollsGone);
  if (state.silentPolls < kSilentPollsGone) return state;
  return Left(state);
}

UnitStart AfterStarted(UnitStart state) {
  state.phase = UnitPhase::Running;
  return state;
}

UnitStart AfterEnded(UnitStart state) {
  state.phase = state.present ? UnitPhase::Remove : UnitPhase::Waiting;
  return state;
}

bool ReadyToStart(StartMode mode, const UnitStart& state) {
  return mode != StartMode::Keys && state.phase == UnitPhase::Waiting && state.present;
}

}  // namespace tarvel

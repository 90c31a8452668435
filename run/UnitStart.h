// How a bed (or a waiting command) knows that a unit is there to be
// written, and that it is gone: what each start mode hears, and the one
// rule for all of them: a unit is written once, and its bed starts again
// only after it has gone. Pure: the watches that hear the port, the loader
// or the line feed it their signals.
#pragma once

#include <optional>
#include <string_view>

namespace tarvel {

enum class StartMode {
  Keys,    // the operator's keys, as without a fixture
  Insert,  // the port appears: the adapter on the radio's cable is plugged in
  Answer,  // the loader answers a short poll: the radio is put in the bed
  Line,    // a fixture's switch raises CTS, DSR or DCD
};

enum class StartLine { Cts, Dsr, Dcd };

std::string_view NameOf(StartMode mode);
std::optional<StartMode> StartModeNamed(std::string_view name);
std::string_view NameOf(StartLine line);
std::optional<StartLine> StartLineNamed(std::string_view name);

// What a watch hears. Each mode heeds its own pair and no other.
enum class UnitSignal {
  Appeared,  // Insert
  Vanished,
  Answered,  // Answer: one poll each
  Silent,
  Rose,      // Line
  Fell,
};

enum class UnitPhase {
  Waiting,  // for a unit; one that is there may start
  Running,  // its unit is being written
  Remove,   // its unit has ended and is still there
};

struct UnitStart {
  UnitPhase phase = UnitPhase::Waiting;
  bool present = false;
  int silentPolls = 0;  // polls in a row that the loader did not answer

  bool operator==(const UnitStart&) const = default;
};

// An answering unit is taken for gone after this many silent polls in a
// row: one lost answer does not start a unit again.
inline constexpr int kSilentPollsGone = 2;

UnitStart AfterSignal(StartMode mode, UnitStart state, UnitSignal signal);
UnitStart AfterStarted(UnitStart state);
// Passed or failed alike: the unit waits to be taken away.
UnitStart AfterEnded(UnitStart state);
// A unit is there and not yet written; never in Keys mode.
bool ReadyToStart(StartMode mode, const UnitStart& state);

}  // namespace tarvel

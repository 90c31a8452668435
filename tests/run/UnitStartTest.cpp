// The start rule of every mode against the signals its watch gives: a unit
// starts once when it comes, its bed waits while it stays, and a unit that
// comes again after it has gone starts again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/UnitStart.h"

namespace tarvel {
namespace {

// A step: a watch's signal, or the bed starting or ending its unit.
enum class Step { Appeared, Vanished, Answered, Silent, Rose, Fell, Start, End };

UnitStart Apply(StartMode mode, UnitStart state, Step step) {
  switch (step) {
    case Step::Start: return AfterStarted(state);
    case Step::End: return AfterEnded(state);
    case Step::Appeared: return AfterSignal(mode, state, UnitSignal::Appeared);
    case Step::Vanished: return AfterSignal(mode, state, UnitSignal::Vanished);
    case Step::Answered: return AfterSignal(mode, state, UnitSignal::Answered);
    case Step::Silent: return AfterSignal(mode, state, UnitSignal::Silent);
    case Step::Rose: return AfterSignal(mode, state, UnitSignal::Rose);
    case Step::Fell: return AfterSignal(mode, state, UnitSignal::Fell);
  }
  return state;
}

// The bed after a step, in one letter:
//   w  waiting, no unit          r  waiting, a unit there: starts now
//   u  running, its unit there   v  running, its unit gone
//   x  ended, its unit still there ("remove the radio")
char Letter(StartMode mode, const UnitStart& state) {
  switch (state.phase) {
    case UnitPhase::Waiting:
      EXPECT_EQ(ReadyToStart(mode, state), state.present && mode != StartMode::Keys);
      return state.present ? 'r' : 'w';
    case UnitPhase::Running: return state.present ? 'u' : 'v';
    case UnitPhase::Remove: return state.present ? 'x' : '?';
  }
  return '?';
}

struct Row {
  const char* name;
  StartMode mode;
  std::vector<Step> steps;
  const char* after;  // one letter per step
};

using S = Step;

TEST(UnitStart, EachModeAgainstArrivalsAndRemovals) {
  const Row rows[] = {
      {"insert: written once while it stays, again after a new plug", StartMode::Insert,
       {S::Appeared, S::Start, S::End, S::Appeared, S::Vanished, S::Appeared, S::Start, S::End}, "ruxxwrux"},
      {"insert: pulled during its write, the next unit starts", StartMode::Insert,
       {S::Appeared, S::Start, S::Vanished, S::End, S::Appeared}, "ruvwr"},
      {"insert: a unit that came and went before it started", StartMode::Insert,
       {S::Appeared, S::Vanished, S::Vanished}, "rww"},
      {"insert heeds only the port", StartMode::Insert,
       {S::Answered, S::Rose, S::Appeared, S::Silent, S::Silent, S::Fell, S::Vanished}, "wwrrrrw"},
      {"answer: one silent poll is not a removal, two in a row are", StartMode::Answer,
       {S::Answered, S::Start, S::End, S::Answered, S::Silent, S::Answered, S::Silent, S::Silent, S::Answered},
       "ruxxxxxwr"},
      {"answer: silent polls while nothing is there", StartMode::Answer,
       {S::Silent, S::Silent, S::Silent, S::Answered, S::Silent, S::Silent}, "wwwrrw"},
      {"answer: a failed write whose radio stays answering", StartMode::Answer,
       {S::Answered, S::Start, S::End, S::Answered, S::Answered}, "ruxxx"},
      {"answer heeds only the loader", StartMode::Answer, {S::Appeared, S::Rose, S::Answered, S::Vanished, S::Fell},
       "wwrrr"},
      {"line: the rising edge starts, the fall lets the next", StartMode::Line,
       {S::Rose, S::Start, S::End, S::Rose, S::Fell, S::Rose}, "ruxxwr"},
      {"line heeds only the line", StartMode::Line, {S::Appeared, S::Answered, S::Rose, S::Vanished, S::Silent, S::Silent},
       "wwrrrr"},
      {"keys: no signal starts a bed", StartMode::Keys, {S::Appeared, S::Answered, S::Rose, S::Start, S::End}, "wwwvw"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(row.steps.size(), std::string(row.after).size());
    UnitStart state;
    std::string seen;
    for (const Step step : row.steps) {
      state = Apply(row.mode, state, step);
      seen += Letter(row.mode, state);
    }
    EXPECT_EQ(seen, row.after);
  }
}

TEST(UnitStart, ModeAndLineNames) {
  struct Named {
    const char* text;
    std::optional<StartMode> mode;
  };
  const Named modes[] = {{"keys", StartMode::Keys},     {"INSERT", StartMode::Insert}, {"Answer", StartMode::Answer},
                         {"line", StartMode::Line},     {"", std::nullopt},            {"inserted", std::nullopt}};
  for (const Named& named : modes) EXPECT_EQ(StartModeNamed(named.text), named.mode) << named.text;
  EXPECT_EQ(StartLineNamed("DSR"), StartLine::Dsr);
  EXPECT_EQ(StartLineNamed("dcd"), StartLine::Dcd);
  EXPECT_EQ(StartLineNamed("cts"), StartLine::Cts);
  EXPECT_EQ(StartLineNamed("ri"), std::nullopt);
}

}  // namespace
}  // namespace tarvel

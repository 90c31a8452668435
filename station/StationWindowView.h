// What the station's presenter asks of the window that shows it: only what
// a toolkit must do. A bed is named by its index, in the station file's
// order; the window has one panel per bed.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "station/Station.h"

namespace tarvel {

// The lines above the panels.
struct StationHeaderLines {
  std::string title;     // the window's title
  std::string firmware;  // the file, its digest, the cable and the speed: the first thing read
  std::string trust;     // what the folder's manifest says of the file; no line when empty
  std::string comment;   // the firmware's comment block, on one line
};

class StationWindowView {
 public:
  virtual ~StationWindowView() = default;

  virtual void ShowHeader(const StationHeaderLines& header) = 0;
  virtual void SetCounters(const std::string& text) = 0;

  // A bed's panel: its title, its lamp (the colour follows the state), its
  // bar from 0 to `range` standing at `done` with `text` on it, the last
  // unit's result and diagnosis lines, and whether its Start is offered.
  virtual void SetPanelTitle(std::size_t bed, const std::string& title) = 0;
  virtual void SetLamp(std::size_t bed, BedState state, const std::string& text) = 0;
  virtual void SetProgress(std::size_t bed, int done, int range, const std::string& text) = 0;
  virtual void SetResult(std::size_t bed, const std::string& text) = 0;
  virtual void SetDiagnosis(std::size_t bed, const std::string& text) = 0;
  virtual void EnableStart(std::size_t bed, bool enabled) = 0;
  // What the bed waits for or asks of the operator ("waiting for a radio",
  // "remove the radio") and how it starts, beside its lamp. An empty text
  // is not shown: a bed started by the keys has neither.
  virtual void SetBedNote(std::size_t bed, const std::string& state, const std::string& mode) = 0;

  // A bed's serial number field: its text as typed, emptied, and given the
  // keyboard focus (with `selectAll`, its text selected to be typed over).
  virtual std::string SerialText(std::size_t bed) const = 0;
  virtual void ClearSerial(std::size_t bed) = 0;
  virtual void FocusSerial(std::size_t bed, bool selectAll) = 0;
  // A field whose serial number kept the round from starting is marked
  // until the next start.
  virtual void MarkSerial(std::size_t bed, bool marked) = 0;
  // A running bed's serial number cannot be edited.
  virtual void SetSerialEditable(std::size_t bed, bool editable) = 0;

  // A question with Yes and No, No the default: true for Yes. The window's
  // posted tasks go on running while it waits.
  virtual bool AskYesNo(const std::string& text) = 0;
  // Why nothing started, in a box that does not wait.
  virtual void ShowRefusal(const std::string& text) = 0;
  // Closes the window as its title bar's close would.
  virtual void Close() = 0;
  // Any thread: `task` on the window's thread, after every task posted
  // before it.
  virtual void Post(std::function<void()> task) = 0;
};

}  // namespace tarvel

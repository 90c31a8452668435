// What the main dialog asks of the window that shows it: only what a
// toolkit must do. The controls are named by their ids in DialogTemplate.h.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/MessageDisplay.h"
#include "catalog/Catalog.h"
#include "service/SflConversion.h"
#include "settings/Settings.h"

namespace tarvel {

// The converter's open dialog as it closed: the HEX file (empty when
// cancelled), the panel's fields, which count confirmed or not, and the
// existing SFL file that the user agreed inside the dialog to replace
// (the dialog asks before it closes, so that No keeps what was typed).
struct ConverterDialogAnswer {
  std::string hexPath;
  SflConvTexts fields;
  std::string replaceConfirmed;
};

// The Dump save dialog as it closed: the SFL file (empty when cancelled)
// and the End Block field.
struct DumpDialogAnswer {
  std::string outputPath;
  std::string endBlock;
};

class MainDialogView {
 public:
  virtual ~MainDialogView() = default;

  // Controls; an id whose control was removed is ignored.
  virtual void EnableItem(int id, bool enabled) = 0;
  virtual void RemoveControl(int id) = 0;
  // A radio button or check box, without running its handler.
  virtual void SetCheck(int id, bool checked) = 0;
  // The status text below the buttons ("Writing..." or empty).
  virtual void SetStatusText(const std::string& text) = 0;
  // The comment box: the comment block's text with its CR LF line breaks.
  virtual void SetComment(const std::string& text) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // Whether the title bar's close is offered.
  virtual void SetCloseEnabled(bool enabled) = 0;
  // The whole window redrawn now.
  virtual void Repaint() = 0;

  // The port and speed boxes by id: their entries, one added (its index
  // returned), one made current (-1: none), all replaced.
  virtual std::vector<std::string> BoxEntries(int id) const = 0;
  virtual int AddBoxEntry(int id, const std::string& text) = 0;
  virtual void SelectBoxEntry(int id, int entry) = 0;
  virtual void FillBox(int id, const std::vector<std::string>& entries, int selected) = 0;
  // The hint below the port box, in grey, while the box is empty (empty:
  // none).
  virtual void SetPortHint(const std::string& hint) = 0;
  // The port typed in the port box's field taken: all of its text selected.
  virtual void SelectPortFieldText() = 0;

  // The file list: every row replaced (the focus and selection go), the
  // focused row (-1: none) and whether it is selected, a row given the
  // focus and, if `selected`, the selection, the sort arrow (column -1:
  // none; image as SortState::ArrowImage), the columns fitted, the keyboard
  // focus.
  virtual void ShowRows(const std::vector<CatalogRow>& rows) = 0;
  // A shown row's tool tip: its digest and manifest state, known later
  // than the row.
  virtual void SetRowToolTip(int row, const std::string& text) = 0;
  virtual int FocusedRow() const = 0;
  virtual bool RowSelected(int row) const = 0;
  virtual void FocusRow(int row, bool selected) = 0;
  virtual void ShowSortArrow(int column, int image) = 0;
  virtual void FitColumns() = 0;
  virtual void FocusFileList() = 0;

  // The status bar: pane 0's text, the lamp repainted, the read's progress
  // over pane 0 (0 hides it; its range from `endBlock`).
  virtual void SetFolderPane(const std::string& folder) = 0;
  virtual void RepaintLamp() = 0;
  virtual void SetReadProgress(unsigned position, std::uint16_t endBlock) = 0;
  // The write's progress bar with its block counter.
  virtual void SetProgressRange(std::uint16_t highest) = 0;
  virtual void SetProgress(int position, const std::string& text) = 0;
  virtual void BringToFront() = 0;
  // The wait cursor while the converter runs.
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;

  // The folder chooser of "&Browse...": none when cancelled.
  virtual std::optional<std::string> ChooseFolder(const std::string& start) = 0;
  // The file dialogs, each gone by the time it returns.
  virtual ConverterDialogAnswer RunConverterDialog(const Settings& settings, const std::string& folder) = 0;
  virtual DumpDialogAnswer RunDumpDialog(const std::string& folder) = 0;
  virtual void ShowAbout() = 0;

  // A modal message box; one that does not wait, `closed` (if any) run on
  // the window's thread once the user has closed it.
  virtual void ShowMessageBox(const std::string& text, MessageIcon icon, const std::string& detail) = 0;
  virtual void OpenMessageBox(const std::string& text, MessageIcon icon, const std::string& detail,
                              std::function<void()> closed) = 0;
  // A box that refuses what was asked while an access runs: it does not
  // wait, and the ones still open go when the access is over.
  virtual void OpenRefusalBox(const std::string& text) = 0;
  virtual void CloseRefusalBoxes() = 0;
  // A question with Yes and No, No the default: true for Yes. A non-empty
  // `detail` goes below the text, as in a message box.
  virtual bool AskYesNo(const std::string& text, MessageIcon icon, const std::string& detail) = 0;
  // Ends the dialog.
  virtual void End() = 0;

  // `task` on the window's thread, after every task posted before; called
  // from another thread.
  virtual void Post(std::function<void()> task) = 0;
  // One pass of the window's events.
  virtual void RunOnce() = 0;
  // After an access has started: a window whose handlers wait for the
  // access keeps its events going here until AccessOver.
  virtual void WaitForAccess() = 0;
  virtual void AccessOver() = 0;
};

}  // namespace tarvel

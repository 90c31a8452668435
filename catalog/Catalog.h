// The catalog the main window keeps: its folder, its rows in display order,
// the sort state, and what a click on a row chooses. The window adds the
// widgets: the list, the header arrows, WRITE, title and comment box.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalog/FileList.h"
#include "catalog/RowSort.h"

namespace tarvel {

// What a click on a row sets.
struct Selection {
  std::string filePath;  // m_strFilePath: the folder, "/", the row's own file name
  std::string title;     // "<base name> - Tarvel", as display text
};

// The path and title for `row` of `folder`. The folder is used as given, so
// "/" and "fw.sfl" give "//fw.sfl", which the system takes as "/fw.sfl".
Selection SelectRow(const std::string& folder, const CatalogRow& row);

class Catalog {
 public:
  explicit Catalog(std::string folder) : m_strSflFolder(std::move(folder)) {}

  const std::string& folder() const { return m_strSflFolder; }
  const std::vector<CatalogRow>& rows() const { return m_rows; }
  const SortState& sortState() const { return m_sort; }

  // FillFileList: the rows refilled from the folder in listing order; the
  // sort state stays. True when files were found: only then does the window
  // empty its comment box.
  bool Fill();

  // Browse's choice: the new folder, refilled at once. The window calls it
  // only for a chosen file-system folder; a cancelled chooser changes
  // nothing.
  bool ChangeFolder(std::string folder);

  // OnColumnClick: the direction rule, then the sort. False for a column
  // other than 0 or 1.
  bool ColumnClick(int column);

  // OnFileListClick for the row at `index`; nothing when there is no such
  // row.
  std::optional<Selection> Select(std::size_t index) const;

 private:
  std::string m_strSflFolder;
  std::vector<CatalogRow> m_rows;
  SortState m_sort;
};

}  // namespace tarvel

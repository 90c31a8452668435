// Sorting the catalog by a column: the comparison, the row numbering the
// sort works on, and the sort state that the window keeps.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalog/FileList.h"

namespace tarvel {

// The text lower-cased for comparison: valid UTF-8 characters by their
// simple Unicode lower case, every other byte by ASCII rules only.
std::string LowerCaseKey(std::string_view text);

// CompareRows: the lower-cased texts of `column` compared byte by byte as
// unsigned values (a prefix goes first); negative when `first` goes before
// `second`. The result is negated for a descending sort.
int CompareRows(const CatalogRow& first, const CatalogRow& second, int column, bool ascending);

// NumberRows: every row's itemData set to its current position.
void NumberRows(std::vector<CatalogRow>& rows);

// Sorts the rows by `column` with CompareRows. Rows whose texts compare
// equal keep their order from before the sort (the positions NumberRows
// gave them break the tie), so a sort is repeatable.
void SortRows(std::vector<CatalogRow>& rows, int column, bool ascending);

// m_nSortColumn and m_bSortAscending: set by header clicks only. Reloading
// or changing the folder keeps them (and the header arrow) although the
// refilled rows come in listing order; the next click on the same column
// then reverses the previous direction.
class SortState {
 public:
  // -1 before the first sort.
  int column() const { return m_nSortColumn; }
  bool ascending() const { return m_bSortAscending; }

  // OnColumnClick's rule: the first click on a column sorts ascending, the
  // same column again reverses. False (nothing changed) for a column other
  // than 0 or 1.
  bool Click(int column);

  // The header image for `column`: 1 (the downward triangle) when it is the
  // sorted column and ascending, 0 (upward) when descending, -1 for none.
  int ArrowImage(int column) const;

 private:
  int m_nSortColumn = -1;
  bool m_bSortAscending = false;
};

}  // namespace tarvel

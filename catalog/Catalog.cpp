#include "catalog/Catalog.h"

#include "base/Strings.h"
#include "catalog/DisplayText.h"

namespace tarvel {

Selection SelectRow(const std::string& folder, const CatalogRow& row) {
  Selection selection;
  selection.filePath = folder + "/" + row.fileName;
  selection.title = DecodeForDisplay(row.baseName) + " - " + std::string(LoadString(StringId::AppTitle));
  return selection;
}

bool Catalog::Fill() {
  m_rows = ListSflFolder(m_strSflFolder);
  return !m_rows.empty();
}

bool Catalog::ChangeFolder(std::string folder) {
  m_strSflFolder = std::move(folder);
  return Fill();
}

bool Catalog::ColumnClick(int column) {
  if (!m_sort.Click(column)) return false;
  SortRows(m_rows, m_sort.column(), m_sort.ascending());
  return true;
}

std::optional<Selection> Catalog::Select(std::size_t index) const {
  if (index >= m_rows.size()) return std::nullopt;
  return SelectRow(m_strSflFolder, m_rows[index]);
}

}  // namespace tarvel

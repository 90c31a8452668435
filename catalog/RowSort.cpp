#include "catalog/RowSort.h"

#include <algorithm>
#include <numeric>

#include "base/AsciiCase.h"
#include "base/Locale.h"
#include "catalog/DisplayText.h"

namespace tarvel {

namespace {

char32_t LowerCase(char32_t c) {
  if (c < 0x80) return static_cast<unsigned char>(LowerAscii(static_cast<char>(c)));
  const char32_t lower = UnicodeLowerCase(c);
  // A lower case that would not encode back (never expected) is not used.
  return lower == 0 || lower > 0x10FFFF || (lower >= 0xD800 && lower <= 0xDFFF) ? c : lower;
}

int Compare(const std::string& first, const std::string& second) {
  // std::string compares through memcmp: bytes as unsigned values, a prefix first.
  const int order = first.compare(second);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

std::string LowerCaseKey(std::string_view text) {
  std::string key;
  key.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const unsigned char byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      key += static_cast<char>(LowerCase(byte));
      ++pos;
      continue;
    }
    char32_t codePoint = 0;
    const std::size_t length = DecodeUtf8(text, pos, codePoint);
    if (length == 0) {
      key += static_cast<char>(byte);
      ++pos;
    } else {
      AppendUtf8(key, LowerCase(codePoint));
      pos += length;
    }
  }
  return key;
}

int CompareRows(const CatalogRow& first, const CatalogRow& second, int column, bool ascending) {
  const int order = Compare(LowerCaseKey(first.text(column)), LowerCaseKey(second.text(column)));
  return ascending ? order : -order;
}

void NumberRows(std::vector<CatalogRow>& rows) {
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i].itemData = static_cast<std::uint32_t>(i);
}

void SortRows(std::vector<CatalogRow>& rows, int column, bool ascending) {
  NumberRows(rows);
  // The lower-cased texts once per row rather than once per comparison.
  std::vector<std::string> keys(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) keys[i] = LowerCaseKey(rows[i].text(column));
  std::vector<std::uint32_t> order(rows.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const int byText = Compare(keys[a], keys[b]);
    if (byText != 0) return ascending ? byText < 0 : byText > 0;
    return rows[a].itemData < rows[b].itemData;
  });
  std::vector<CatalogRow> sorted;
  sorted.reserve(rows.size());
  for (const std::uint32_t index : order) sorted.push_back(std::move(rows[index]));
  rows = std::move(sorted);
}

bool SortState::Click(int column) {
  if (column != kColumnName && column != kColumnDate) return false;
  if (column == m_nSortColumn) {
    m_bSortAscending = !m_bSortAscending;
  } else {
    m_nSortColumn = column;
    m_bSortAscending = true;
  }
  return true;
}

int SortState::ArrowImage(int column) const {
  if (column != m_nSortColumn || m_nSortColumn < 0) return -1;
  return m_bSortAscending ? 1 : 0;
}

}  // namespace tarvel

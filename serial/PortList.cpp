#include "serial/PortList.h"

#include "base/AsciiCase.h"
#include "serial/PortFacts.h"

#include <cctype>
#include <string_view>
#include <utility>

namespace tarvel {

const char* PortAccessName(PortAccess access) {
  switch (access) {
    case PortAccess::Ok: return "ok";
    case PortAccess::Missing: return "missing";
    case PortAccess::Denied: return "denied";
    case PortAccess::Busy: return "busy";
    case PortAccess::NotSerial: return "not-serial";
  }
  return "ok";
}

std::string AdapterFamily(const std::string& vendorId) {
  // Each of these vendors makes one family of USB-serial chips.
  static constexpr std::pair<const char*, const char*> kFamilies[] = {
      {"0403", "FTDI"},
      {"10c4", "Silicon Labs CP210x"},
      {"067b", "Prolific PL2303"},
      {"1a86", "WCH CH34x"},
  };
  const std::string vendor = LowerAsciiText(vendorId);
  for (const auto& [id, name] : kFamilies) {
    if (vendor == id) return name;
  }
  return {};
}

bool NaturalLess(const std::string& left, const std::string& right) {
  auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < left.size() && j < right.size()) {
    if (isDigit(left[i]) && isDigit(right[j])) {
      std::size_t endI = i;
      std::size_t endJ = j;
      while (endI < left.size() && isDigit(left[endI])) ++endI;
      while (endJ < right.size() && isDigit(right[endJ])) ++endJ;
      // Compare by value without overflow: skip leading zeros, then length.
      std::size_t startI = i;
      std::size_t startJ = j;
      while (startI + 1 < endI && left[startI] == '0') ++startI;
      while (startJ + 1 < endJ && right[startJ] == '0') ++startJ;
      const std::string_view a(left.data() + startI, endI - startI);
      const std::string_view b(right.data() + startJ, endJ - startJ);
      if (a.size() != b.size()) return a.size() < b.size();
      if (a != b) return a < b;
      i = endI;
      j = endJ;
      continue;
    }
    if (left[i] != right[j]) return left[i] < right[j];
    ++i;
    ++j;
  }
  if (left.size() - i != right.size() - j) return left.size() - i < right.size() - j;
  return left < right;
}

}  // namespace tarvel

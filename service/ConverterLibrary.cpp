// What loading a converter library does the same way on every system.
#include "service/ConverterLibrary.h"

#include <utility>

namespace tarvel {

ConverterLibrary::~ConverterLibrary() { unload(); }

ConverterLibrary::ConverterLibrary(ConverterLibrary&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)), error_(std::move(other.error_)) {
  other.handle_ = nullptr;
}

ConverterLibrary& ConverterLibrary::operator=(ConverterLibrary&& other) noexcept {
  if (this != &other) {
    unload();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    error_ = std::move(other.error_);
    other.handle_ = nullptr;
  }
  return *this;
}

void ConverterLibrary::release() { handle_ = nullptr; }

}  // namespace tarvel

// A message display that puts the diagnosis's one-line finding under a
// failure to open the port or to synchronise: the window's boxes keep their
// own text and gain the cause below it.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "base/MessageDisplay.h"
#include "diagnosis/Doctor.h"
#include "diagnosis/LineWatch.h"
#include "loader/LoaderContext.h"

namespace tarvel {

class DiagnosingMessages final : public MessageDisplay {
 public:
  // `inner` and `watch` must outlive this display. The context is named
  // later, as it is built with this display.
  DiagnosingMessages(MessageDisplay& inner, const LineWatch& watch, PortSystem system)
      : inner_(inner), watch_(watch), system_(std::move(system)) {}
  void attach(const LoaderContext& ctx) { ctx_ = &ctx; }

  void showMessage(StringId id, MessageIcon icon, std::string_view detail = {}) override;
  void showReport(const std::string& text, MessageIcon icon) override { inner_.showReport(text, icon); }

 private:
  MessageDisplay& inner_;
  const LineWatch& watch_;
  PortSystem system_;
  const LoaderContext* ctx_ = nullptr;
};

}  // namespace tarvel

// "Let the window run once": called by the waits of the loader so that the
// window repaints while a procedure runs on its thread.
#pragma once

namespace tarvel {

class UiPump {
 public:
  virtual ~UiPump() = default;
  // Deliver at most one pending window message, then run the idle work.
  virtual void runOnce() = 0;
};

class NoUiPump final : public UiPump {
 public:
  void runOnce() override {}
};

}  // namespace tarvel

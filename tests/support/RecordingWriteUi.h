// A WriteUi that records what the window would show.
#pragma once

#include <string>
#include <vector>

#include "firmware/WriteProcedure.h"

namespace tarvel::test {

struct RecordingWriteUi final : WriteUi {
  void lockForWrite() override { calls.push_back("lock"); ++locks; }
  void unlockAfterWrite() override { calls.push_back("unlock"); }
  void statusChanged(int status) override { statuses.push_back(status); }
  void setProgressRange(std::uint16_t highest) override { ranges.push_back(highest); }
  void setProgress(int position, const std::string& text) override {
    positions.push_back(position);
    texts.push_back(text);
  }
  void bringToFront() override { calls.push_back("front"); }

  std::vector<std::string> calls;
  int locks = 0;
  std::vector<int> statuses;
  std::vector<int> ranges;
  std::vector<int> positions;
  std::vector<std::string> texts;
};

}  // namespace tarvel::test

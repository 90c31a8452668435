#include "cli/RadioLines.h"

#include <algorithm>

#include "base/Report.h"
#include "cli/ProgressLine.h"

namespace tarvel::cli {

namespace {

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(separator, start);
    parts.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::string StateText(int phase) {
  switch (phase) {
    case RadioProgress::kWaiting: return std::string(LoadString(StringId::RadioWaiting));
    case RadioProgress::kConnecting: return std::string(LoadString(StringId::RadioConnecting));
    case RadioProgress::kVerifying: return std::string(LoadString(StringId::RadioVerifying));
    default: return std::string(LoadString(StringId::RadioWriting));
  }
}

std::string Seconds(std::uint32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", ms / 1000.0);
  return text;
}

enum Column : std::size_t { kRound, kPort, kBlocks, kRetries, kTime, kRate, kChecksum, kVerified, kResult };

std::vector<std::string> Row(const RunResult& r) {
  std::vector<std::string> row(kResult + 1, "-");
  if (r.fields.contains("round")) row[kRound] = r.fields["round"].dump();
  row[kPort] = r.radio ? r.radio->port : std::string();
  row[kTime] = Seconds(r.elapsedMs);
  row[kResult] = OneLine(r.message);
  if (const auto& t = r.transfer) {
    row[kBlocks] = std::to_string(t->blocksDone) + "/" + std::to_string(t->blocksTotal);
    row[kRetries] = std::to_string(t->retries);
    if (t->transferMs > 0 && t->blocksDone > 0) row[kRate] = FormatRate(t->blocksDone * 128.0 * 1000.0 / t->transferMs);
    // Only a complete write has the sum of the whole file.
    if (t->blocksDone == t->blocksTotal) row[kChecksum] = FormatHex4(t->checksum);
    if (r.exitCode == 0) {
      row[kVerified] = "yes";
    } else if (t->verifyFirstDifference) {
      row[kVerified] = "no";
    }
  }
  return row;
}

}  // namespace

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

std::string RadioLineText(const std::string& port, const RadioProgress& progress, const RunResult* ended) {
  const int done = progress.blocksDone.load(std::memory_order_relaxed);
  const int total = progress.blocksTotal.load(std::memory_order_relaxed);
  const int phase = progress.phase.load(std::memory_order_relaxed);
  std::string line = port + "  ";
  const int verifyTotal = progress.verifyTotal.load(std::memory_order_relaxed);
  if (!ended && phase == RadioProgress::kVerifying && verifyTotal > 0) {
    // The read-back counts the file's blocks, not their numbers.
    const int verified = progress.verifyDone.load(std::memory_order_relaxed);
    char figures[64];
    std::snprintf(figures, sizeof figures, "block %d of %d  %3d%%  ", verified, verifyTotal,
                  std::clamp(100 * verified / verifyTotal, 0, 100));
    return line + figures + StateText(phase);
  }
  // The figures once the blocks go out; a radio that never got there has none.
  if (total > 0 && (done > 0 || phase == RadioProgress::kWriting || phase == RadioProgress::kVerifying)) {
    // The block being written; once all are, the last one.
    char figures[48];
    std::snprintf(figures, sizeof figures, "block %s  %3d%%  ", FormatBlockCounter(std::min(done, total - 1)).c_str(),
                  std::clamp(100 * done / total, 0, 100));
    line += figures;
    const std::uint32_t ms = progress.writingMs.load(std::memory_order_relaxed);
    if (!ended && phase == RadioProgress::kWriting && done > 0 && ms > 0) {
      line += FormatRate(done * 128.0 * 1000.0 / ms) + "  ";
    }
  }
  return line + (ended ? OneLine(ended->message) : StateText(phase));
}

void LiveLines::draw(const std::vector<std::string>& lines, int columns) {
  // Back to the first line drawn, then every line anew, each ended so that
  // the cursor rests below the block between draws.
  if (drawn_ > 0) std::fprintf(out_, "\x1b[%zuF", drawn_);
  for (const std::string& line : lines) std::fprintf(out_, "%s\n", FitToColumns(line, columns).c_str());
  drawn_ = lines.size();
  std::fflush(out_);
}

std::string FormatRadioTable(const std::vector<RunResult>& results) {
  const std::vector<std::string> headings = Split(LoadString(StringId::RadioTableColumns), '\t');
  std::vector<std::vector<std::string>> table{headings};
  for (const RunResult& result : results) table.push_back(Row(result));
  // Columns left out: the round of a single round, the verify without
  // --verify, the blocks of a sync.
  const bool rounds = !results.empty() && results.front().fields.contains("round");
  const bool transfer = !results.empty() && results.front().transfer.has_value();
  const bool verify = transfer && results.front().transfer->verify;
  std::vector<std::size_t> shown;
  for (std::size_t c = 0; c < headings.size(); ++c) {
    if ((c == kRound && !rounds) || (c == kVerified && !verify) ||
        (!transfer && (c == kBlocks || c == kRetries || c == kRate || c == kChecksum))) {
      continue;
    }
    shown.push_back(c);
  }
  std::vector<std::size_t> width(headings.size(), 0);
  for (const auto& line : table) {
    for (std::size_t c : shown) width[c] = std::max(width[c], line[c].size());
  }
  std::string out;
  for (const auto& line : table) {
    for (std::size_t c : shown) {
      out += line[c];
      // The result comes last and is not padded: the messages differ most.
      if (c != shown.back()) out += std::string(width[c] - line[c].size() + 2, ' ');
    }
    out += "\n";
  }
  return out;
}

}  // namespace tarvel::cli

#include "run/RunResult.h"

#include <algorithm>
#include <cstdio>

#include "base/Report.h"
#include "firmware/WriteProcedure.h"

namespace tarvel {

namespace {

std::string IsoText(std::chrono::sys_time<std::chrono::milliseconds> ms) {
  using namespace std::chrono;
  const auto day = floor<days>(ms);
  const year_month_day date{day};
  const hh_mm_ss clock{ms - day};
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

}  // namespace

std::string IsoTimeUtc(std::chrono::system_clock::time_point time) {
  return IsoText(std::chrono::floor<std::chrono::milliseconds>(time));
}

std::string IsoTimeUtcSeconds(std::int64_t utcSeconds) {
  // Four-digit years only: a time stamp beyond them is shown at their edge.
  constexpr std::int64_t kYear0 = -62167219200;
  constexpr std::int64_t kYear9999End = 253402300799;
  const std::int64_t seconds = std::clamp(utcSeconds, kYear0, kYear9999End);
  return IsoText(std::chrono::sys_seconds{std::chrono::seconds{seconds}});
}

Json BlockJson(std::optional<int> block) {
  return block ? Json(FormatBlockCounter(*block)) : Json(nullptr);
}

Json ResultJson(const RunResult& result) {
  Json object;
  object["schema"] = kJsonSchema;
  object["tool"] = {{"name", result.tool}, {"version", TARVEL_VERSION}};
  object["command"] = result.command;
  object["result"] = result.exitCode == 0 ? "success" : "failure";
  object["exit_code"] = result.exitCode;
  object["message"] = result.message;
  if (!result.detail.empty()) object["detail"] = result.detail;
  object["hint"] = result.hint.empty() ? Json(nullptr) : Json(result.hint);
  object["started_at"] = IsoTimeUtc(result.startedAt);
  object["elapsed_ms"] = result.elapsedMs;
  if (const auto& radio = result.radio) {
    object["port"] = radio->port;
    object["device"] = radio->device;
    object["usb"] = radio->usb ? Json{{"vendor", radio->usb->vendor},
                                      {"product", radio->usb->product},
                                      {"serial", radio->usb->serial}}
                               : Json(nullptr);
    object["cable"] = radio->cable;
    object["baud"] = radio->baud;
    if (!radio->serial.empty()) object["serial"] = radio->serial;
  }
  if (const auto& transfer = result.transfer) {
    object["file"] = transfer->file;
    object["file_sha256"] = transfer->fileSha256.empty() ? Json(nullptr) : Json(transfer->fileSha256);
    if (!transfer->manifest.empty()) {
      object["manifest"] = transfer->manifest;
      object["signed_by"] = transfer->signedBy.empty() ? Json(nullptr) : Json(transfer->signedBy);
    }
    object["blocks_total"] = transfer->blocksTotal;
    object["blocks_done"] = transfer->blocksDone;
    object["retries"] = transfer->retries;
    object["checksum"] = FormatHex4(transfer->checksum);
    object["first_failed_block"] = BlockJson(transfer->firstFailedBlock);
    if (transfer->verify) {
      object["verify_ms"] = transfer->verifyMs;
      object["verify_first_difference"] = BlockJson(transfer->verifyFirstDifference);
    }
  }
  for (const auto& [key, value] : result.fields.items()) object[key] = value;
  if (!result.radios.empty()) {
    Json& radios = object["radios"] = Json::array();
    for (const RunResult& radio : result.radios) radios.push_back(ResultJson(radio));
  }
  return object;
}

std::string JsonLine(const Json& object) {
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {

// Brackets outside strings, counted before the parser builds anything.
bool NestsWithin(std::string_view text, int limit) {
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

}  // namespace

Json ParseJsonInput(std::string_view text) {
  if (!NestsWithin(text, kMaxJsonDepth)) return Json(Json::value_t::discarded);
  return Json::parse(text, nullptr, false);
}

}  // namespace tarvel

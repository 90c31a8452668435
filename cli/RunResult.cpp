#include "cli/RunResult.h"

#include <cstdio>

#include "base/Report.h"
#include "firmware/WriteProcedure.h"

namespace tarvel::cli {

std::string IsoTimeUtc(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(time);
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

Json BlockJson(std::optional<int> block) {
  return block ? Json(FormatBlockCounter(*block)) : Json(nullptr);
}

Json ResultJson(const RunResult& result) {
  Json object;
  object["schema"] = kJsonSchema;
  object["tool"] = {{"name", "tarvel-cli"}, {"version", TARVEL_VERSION}};
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
  }
  if (const auto& transfer = result.transfer) {
    object["file"] = transfer->file;
    object["file_sha256"] = transfer->fileSha256.empty() ? Json(nullptr) : Json(transfer->fileSha256);
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

}  // namespace tarvel::cli

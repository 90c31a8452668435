// What one run of a command found out, and the JSON object built from it:
// the same object goes to stdout (--json) and, as one line, to the record
// file. A run that talks to several radios keeps one RunResult per radio.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace tarvel {

using Json = nlohmann::ordered_json;

// The object's layout; raised when a field changes meaning or goes away.
inline constexpr int kJsonSchema = 1;

struct UsbFacts {
  std::string vendor;   // four hex digits, as the system gives them
  std::string product;
  std::string serial;
};

struct RadioFacts {
  std::string port;    // as given
  std::string device;  // the device path behind it, links resolved
  std::optional<UsbFacts> usb;
  std::string cable;   // "qap8" or "qap10"
  unsigned baud = 0;
  std::string serial;  // the radio's own serial number as given (--serial); empty: none
};

// A write or a read: the SFL file and how far the blocks got.
struct TransferFacts {
  std::string file;
  std::string fileSha256;  // empty: not known (null)
  std::string manifest;    // the file's state in its folder's manifest; empty: not checked (null)
  std::string signedBy;    // the key id of the manifest's good signature; empty: none (null)
  int blocksTotal = 0;
  int blocksDone = 0;
  int retries = 0;
  std::uint32_t transferMs = 0;  // the write's or the read's own time, as its report says it
  std::uint16_t checksum = 0;
  std::optional<int> firstFailedBlock;
  bool verify = false;  // --verify was asked for: the verify fields follow
  std::uint32_t verifyMs = 0;
  std::optional<int> verifyFirstDifference;
};

struct RunResult {
  std::string tool = "tarvel-cli";  // the program that ran it: "tarvel" for the station
  std::string command;
  int exitCode = 0;
  std::string message;  // as printed
  std::string detail;   // what the message's second line said, if anything
  std::string hint;     // what to do next, if anything
  std::chrono::system_clock::time_point startedAt = std::chrono::system_clock::now();
  std::uint32_t elapsedMs = 0;
  std::optional<RadioFacts> radio;
  std::optional<TransferFacts> transfer;
  Json fields = Json::object();  // the command's own fields
  // A run over several radios: one result each, in port order, the
  // "radios" array that ends the object; the record gets one line each.
  std::vector<RunResult> radios;
};

// The object: the fields every command has, then the radio's, the
// transfer's, the command's own and the radios'.
Json ResultJson(const RunResult& result);

// One line of JSON. Bytes that are not UTF-8 (a Latin-1 file name) become
// U+FFFD, so that every parser takes the line.
std::string JsonLine(const Json& object);

// The deepest nesting a JSON input may have. The program's own objects nest
// a few levels; copying, printing and freeing a value recurse once a level,
// so a line nested tens of thousands deep would overflow the stack.
inline constexpr int kMaxJsonDepth = 64;

// `text` parsed as JSON; a discarded value when it is not JSON or nests
// deeper than kMaxJsonDepth (then it is not parsed at all).
Json ParseJsonInput(std::string_view text);

// "2026-12-07T12:34:56.789Z".
std::string IsoTimeUtc(std::chrono::system_clock::time_point time);
// The same for a file's time in seconds since 1970: counted in seconds, as
// the clock's nanoseconds end in 2262.
std::string IsoTimeUtcSeconds(std::int64_t utcSeconds);

// A block number as the window shows it ("%03X"), or null.
Json BlockJson(std::optional<int> block);

}  // namespace tarvel

#include "station/StationFile.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "base/AsciiCase.h"
#include "base/FileIo.h"
#include "base/Sha256.h"
#include "loader/CableFacts.h"
#include "settings/ProfileFile.h"
#include "station/SerialCheck.h"
#include "run/FileToWrite.h"
#include "records/Database.h"
#include "run/RecordFile.h"
#include "run/SideBySide.h"

namespace tarvel {

namespace {

namespace fs = std::filesystem;

// A path in the station file is taken from the station file's folder.
std::string Beside(const std::string& stationFile, const std::string& path) {
  const fs::path given(path);
  if (given.is_absolute()) return path;
  return (fs::path(stationFile).parent_path() / given).lexically_normal().string();
}

std::string ProblemText(const SflFileProblem& problem) {
  std::string text(LoadString(problem.id));
  if (!problem.detail.empty()) text += " (" + problem.detail + ")";
  return text;
}

class Reader {
 public:
  Reader(const std::string& path, StationConfig& config) : path_(path), config_(config) {}

  std::optional<std::string> read(CheckedSflFile& firmware, TransferFacts& facts);

 private:
  std::string at(int line, StringId id, std::initializer_list<std::string_view> rest) const {
    const std::string number = std::to_string(line);
    switch (rest.size()) {
      case 0: return FormatString(id, {path_, number});
      case 1: return FormatString(id, {path_, number, rest.begin()[0]});
      case 2: return FormatString(id, {path_, number, rest.begin()[0], rest.begin()[1]});
      default: return FormatString(id, {path_, number, rest.begin()[0], rest.begin()[1], rest.begin()[2]});
    }
  }
  std::optional<std::string> stationKey(const ProfileLine& line);
  // Start=, Poll= and StartLine=, of the station or of one bed; false:
  // another key.
  bool startKey(const ProfileLine& line, BedStartFacts& facts, std::optional<std::string>& problem) const;
  std::optional<std::string> bedSections();
  std::optional<std::string> filesInTwoRoles() const;
  std::optional<std::string> bed(const ProfileLine& line);
  std::optional<std::string> flag(const ProfileLine& line, bool& value) const {
    if (line.value != "0" && line.value != "1") {
      return at(line.number, StringId::StationValueUnknown, {line.key + "=" + line.value, "0 or 1"});
    }
    value = line.value == "1";
    return std::nullopt;
  }

  const std::string& path_;
  StationConfig& config_;
  int firmwareLine_ = 0;
  int sha256Line_ = 0;
  int baudLine_ = 0;
  int recordLine_ = 0;
  int keysLine_ = 0;
  int eventsLine_ = 0;
  int metricsLine_ = 0;
  std::string baudText_;
  std::vector<std::string> portIds_;
  // A [NAME] section of a bed: where it starts, and its lines in order.
  struct BedSection {
    std::string name;
    int line = 0;
    std::vector<ProfileLine> keys;
  };
  std::vector<BedSection> bedSections_;
};

bool Reader::startKey(const ProfileLine& line, BedStartFacts& facts, std::optional<std::string>& problem) const {
  const std::string& key = line.key;
  if (EqualsNoCase(key, "Start")) {
    const std::optional<StartMode> mode = StartModeNamed(line.value);
    if (!mode) problem = at(line.number, StringId::StationValueUnknown, {key + "=" + line.value, "keys, insert, answer or line"});
    else facts.mode = *mode;
  } else if (EqualsNoCase(key, "StartLine")) {
    const std::optional<StartLine> which = StartLineNamed(line.value);
    if (!which) problem = at(line.number, StringId::StationValueUnknown, {key + "=" + line.value, "cts, dsr or dcd"});
    else facts.line = *which;
  } else if (EqualsNoCase(key, "Poll")) {
    const bool digits = !line.value.empty() && line.value.size() <= 4 &&
                        std::all_of(line.value.begin(), line.value.end(), [](char c) { return c >= '0' && c <= '9'; });
    const unsigned long seconds = digits ? std::stoul(line.value) : 0;
    if (seconds < 1 || seconds > 3600) {
      problem = at(line.number, StringId::StationValueUnknown, {key + "=" + line.value, "1 to 3600 seconds"});
    } else {
      facts.poll = std::chrono::seconds(seconds);
    }
  } else {
    return false;
  }
  return true;
}

// Each bed starts as the station does unless its own section says more;
// a section that names no bed is a typing error, not a bed to make.
std::optional<std::string> Reader::bedSections() {
  for (StationBed& bed : config_.beds) bed.start = config_.start;
  for (const BedSection& section : bedSections_) {
    const auto bed = std::find_if(config_.beds.begin(), config_.beds.end(),
                                  [&](const StationBed& named) { return EqualsNoCase(named.name, section.name); });
    if (bed == config_.beds.end()) return at(section.line, StringId::StationSectionUnknown, {section.name});
    std::map<std::string, int> keys;
    for (const ProfileLine& line : section.keys) {
      const auto [first, isNew] = keys.emplace(LowerAsciiText(line.key), line.number);
      if (!isNew) return at(line.number, StringId::StationKeyTwice, {line.key, std::to_string(first->second)});
      std::optional<std::string> problem;
      if (!startKey(line, bed->start, problem)) return at(line.number, StringId::StationBedKeyUnknown, {line.key});
      if (problem) return problem;
    }
  }
  return std::nullopt;
}

std::optional<std::string> Reader::stationKey(const ProfileLine& line) {
  const std::string& key = line.key;
  if (std::optional<std::string> problem; startKey(line, config_.start, problem)) return problem;
  if (EqualsNoCase(key, "Firmware")) {
    if (line.value.empty()) return at(line.number, StringId::StationValueUnknown, {key + "=", "an SFL file"});
    config_.firmware = Beside(path_, line.value);
    firmwareLine_ = line.number;
  } else if (EqualsNoCase(key, "Sha256")) {
    if (!line.value.empty() && !IsHexDigest(line.value)) {
      return at(line.number, StringId::StationValueUnknown, {key + "=" + line.value, "64 hexadecimal digits"});
    }
    config_.sha256 = LowerAsciiText(line.value);
    sha256Line_ = line.number;
  } else if (EqualsNoCase(key, "Cable")) {
    const std::optional<Cable> cable = CableNamed(line.value);
    if (!cable) return at(line.number, StringId::StationValueUnknown, {key + "=" + line.value, "QAP-8 or QAP-10"});
    config_.cable = *cable;
  } else if (EqualsNoCase(key, "Baud")) {
    baudText_ = line.value;
    baudLine_ = line.number;
  } else if (EqualsNoCase(key, "Verify")) {
    return flag(line, config_.verify);
  } else if (EqualsNoCase(key, "RequireSerial")) {
    return flag(line, config_.requireSerial);
  } else if (EqualsNoCase(key, "SerialMax")) {
    const bool digits = !line.value.empty() && line.value.size() <= 4 &&
                        std::all_of(line.value.begin(), line.value.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || std::stoul(line.value) == 0) {
      return at(line.number, StringId::StationValueUnknown, {key + "=" + line.value, "1 to 9999 characters"});
    }
    config_.serialMax = std::stoul(line.value);
  } else if (EqualsNoCase(key, "SerialPattern")) {
    if (!ValidSerialPattern(line.value)) {
      return at(line.number, StringId::StationValueUnknown, {key + "=" + line.value, "a regular expression"});
    }
    config_.serialPattern = line.value;
  } else if (EqualsNoCase(key, "RequireManifest")) {
    return flag(line, config_.trust.requireManifest);
  } else if (EqualsNoCase(key, "Keys")) {
    keysLine_ = line.number;
    config_.trust.keyFiles.clear();
    std::size_t start = 0;
    while (start <= line.value.size()) {
      const std::size_t end = std::min(line.value.find(';', start), line.value.size());
      const std::string key = line.value.substr(start, end - start);
      if (!key.empty()) config_.trust.keyFiles.push_back(Beside(path_, key));
      start = end + 1;
    }
  } else if (EqualsNoCase(key, "Database")) {
    std::string reason;
    const std::optional<std::string> connection = ConnectionString(line.value, reason);
    if (!connection) return path_ + ", line " + std::to_string(line.number) + ": " + reason;
    config_.database = *connection;
  } else if (EqualsNoCase(key, "Events")) {
    if (line.value.empty()) return at(line.number, StringId::StationValueUnknown, {key + "=", "a file or -"});
    config_.events = line.value == "-" ? line.value : Beside(path_, line.value);
    eventsLine_ = line.number;
  } else if (EqualsNoCase(key, "Metrics")) {
    if (!StationMetrics::Built()) return at(line.number, StringId::StationMetricsNotBuilt, {});
    const std::optional<std::string> address = MetricsBindAddress(line.value);
    if (!address) {
      return at(line.number, StringId::StationValueUnknown, {key + "=" + line.value, "ADDRESS:PORT, e.g. 127.0.0.1:9464"});
    }
    config_.metrics = *address;
    metricsLine_ = line.number;
  } else if (EqualsNoCase(key, "Record")) {
    if (line.value.empty()) return at(line.number, StringId::StationValueUnknown, {key + "=", "a file"});
    config_.record = Beside(path_, line.value);
    recordLine_ = line.number;
  } else {
    return at(line.number, StringId::StationKeyUnknown, {key});
  }
  return std::nullopt;
}

// A record line appended to the firmware, the station file or a key would
// spoil it; a key that is the manifest vouches for nothing.
std::optional<std::string> Reader::filesInTwoRoles() const {
  struct Role {
    std::string name;
    std::string path;
    int line;  // 0: the file is named by no line of its own
  };
  const fs::path folder = fs::path(config_.firmware).parent_path();
  std::vector<Role> roles{{"the station file", path_, 0},
                          {"Firmware=", config_.firmware, firmwareLine_},
                          {"the manifest", (folder / kManifestName).string(), firmwareLine_},
                          {"the manifest's signature", (folder / kSignatureName).string(), firmwareLine_}};
  for (const std::string& key : config_.trust.keyFiles) roles.push_back({"Keys=", key, keysLine_});
  // Last, so that a clash with the record names its line.
  roles.push_back({"Record=", config_.record, recordLine_});
  for (std::size_t j = 1; j < roles.size(); ++j) {
    for (std::size_t i = 0; i < j; ++i) {
      if (!fileio::SameFileOrName(roles[i].path, roles[j].path)) continue;
      const std::string where = roles[j].line == 0 ? path_ : path_ + ", line " + std::to_string(roles[j].line);
      return where + ": " + FormatString(StringId::FilesClash, {roles[i].name, roles[j].name, roles[j].path});
    }
  }
  return std::nullopt;
}

std::optional<std::string> Reader::bed(const ProfileLine& line) {
  if (line.value.empty()) return at(line.number, StringId::StationValueUnknown, {line.key + "=", "a port"});
  if (config_.beds.size() == kMaxBeds) {
    return at(line.number, StringId::StationTooManyBeds, {std::to_string(kMaxBeds)});
  }
  const std::string id = PortIdentity(line.value);
  for (std::size_t i = 0; i < config_.beds.size(); ++i) {
    if (EqualsNoCase(config_.beds[i].name, line.key)) return at(line.number, StringId::StationBedTwice, {line.key});
    if (portIds_[i] == id) return at(line.number, StringId::StationPortTwice, {line.value, config_.beds[i].name});
  }
  config_.beds.push_back({line.key, line.value, {}});
  portIds_.push_back(id);
  return std::nullopt;
}

std::optional<std::string> Reader::read(CheckedSflFile& firmware, TransferFacts& facts) {
  std::vector<ProfileLine> lines;
  switch (ListProfileLines(path_, lines)) {
    case ProfileListing::Absent: return FormatString(StringId::StationFileUnreadable, {path_, "no such file"});
    case ProfileListing::Failed:
      return FormatString(StringId::StationFileUnreadable,
                          {path_, ProfileFileTooLarge(path_) ? "larger than 1 MiB" : "not a readable regular file"});
    case ProfileListing::Ok: break;
  }
  config_.path = path_;
  config_.name = fs::path(path_).filename().string();
  config_.record = Beside(path_, "station-record.jsonl");
  // Where each section and each [Station] key was first given: the settings
  // layer takes the first and a reader of the file might take the last, so
  // neither may be given twice.
  std::map<std::string, int> sections;
  std::map<std::string, int> keys;
  for (const ProfileLine& line : lines) {
    std::optional<std::string> problem;
    if (line.nul) {
      problem = at(line.number, StringId::StationLineNul, {});
    } else if (line.kind == ProfileLine::Kind::Broken) {
      problem = at(line.number, StringId::StationLineBroken, {line.value});
    } else if (line.kind == ProfileLine::Kind::Section) {
      const auto [first, isNew] = sections.emplace(LowerAsciiText(line.key), line.number);
      if (!isNew) {
        problem = at(line.number, StringId::StationSectionTwice, {line.key, std::to_string(first->second)});
      } else if (!EqualsNoCase(line.key, "Station") && !EqualsNoCase(line.key, "Beds")) {
        // A bed's own section; whether it names a bed is known at the end.
        bedSections_.push_back({line.key, line.number, {}});
      }
    } else if (EqualsNoCase(line.section, "Station")) {
      const auto [first, isNew] = keys.emplace(LowerAsciiText(line.key), line.number);
      problem = isNew ? stationKey(line)
                      : at(line.number, StringId::StationKeyTwice, {line.key, std::to_string(first->second)});
    } else if (EqualsNoCase(line.section, "Beds")) {
      problem = bed(line);
    } else if (!bedSections_.empty() && EqualsNoCase(line.section, bedSections_.back().name)) {
      bedSections_.back().keys.push_back(line);
    } else {
      // A key above the first section belongs to no section the station has.
      problem = at(line.number, StringId::StationLineBroken, {line.key + "=" + line.value});
    }
    if (problem) return problem;
  }
  if (firmwareLine_ == 0) return FormatString(StringId::StationKeyMissing, {path_, "Firmware"});
  if (baudLine_ != 0) {
    unsigned baud = 0;
    const bool digits = !baudText_.empty() && baudText_.size() <= 7 &&
                        std::all_of(baudText_.begin(), baudText_.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) baud = static_cast<unsigned>(std::stoul(baudText_));
    if (!digits || !SpeedOffered(config_.cable, baud)) {
      return at(baudLine_, StringId::StationValueUnknown,
                {"Baud=" + baudText_, SpeedList(config_.cable) + " with " + std::string(FactsOf(config_.cable).label)});
    }
    config_.baud = baud;
  } else if (!SpeedOffered(config_.cable, config_.baud)) {
    config_.baud = FactsOf(config_.cable).speeds.front();
  }
  if (config_.beds.empty()) return FormatString(StringId::StationNoBeds, {path_});
  if (std::optional<std::string> problem = bedSections()) return problem;
  if (std::optional<std::string> clash = filesInTwoRoles()) return clash;

  facts = {};
  std::optional<SflFileProblem> warning;
  const std::optional<SflFileProblem> problem =
      LoadFileToWrite(config_.firmware, config_.verify, config_.trust, firmware, facts, warning);
  if (problem) return at(firmwareLine_, StringId::StationFirmwareUnusable, {config_.firmware, ProblemText(*problem)});
  const fs::path firmwarePath(config_.firmware);
  const FolderManifest manifest = LoadFolderManifest(firmwarePath.parent_path().string(), config_.trust);
  config_.trustLine = warning ? ProblemText(*warning)
                              : TrustStatusLine(manifest, CheckAgainstManifest(manifest, firmwarePath.filename().string(),
                                                                               facts.fileSha256));
  if (!config_.sha256.empty() && facts.fileSha256 != config_.sha256) {
    return at(sha256Line_, StringId::StationDigestMismatch, {config_.firmware, facts.fileSha256, config_.sha256});
  }
  // A station whose units would go unrecorded does not open.
  RecordFile record;
  if (std::string reason; !record.open(config_.record, reason)) {
    const std::string where = recordLine_ == 0 ? path_ : path_ + ", line " + std::to_string(recordLine_);
    return where + ": " + std::string(LoadString(StringId::RecordFileFailed)) + " (" + reason + ")";
  }
  if (!config_.events.empty()) {
    std::string reason;
    // Events appended to the record or the firmware would spoil either.
    for (const std::string* other : {&config_.record, &config_.firmware}) {
      if (config_.events != "-" && (config_.events == *other || fileio::SameFile(config_.events, *other))) {
        return at(eventsLine_, StringId::StationEventsFailed, {config_.events + " is also " + *other});
      }
    }
    std::unique_ptr<EventStream> stream = EventStream::Open(config_.events, reason);
    if (!stream) return at(eventsLine_, StringId::StationEventsFailed, {reason});
    stream->postAlways(HelloEvent("tarvel", "station"));
    config_.eventStream = std::move(stream);
  }
  if (!config_.metrics.empty()) {
    std::string reason;
    std::unique_ptr<StationMetrics> metrics = StationMetrics::Serve(config_.metrics, config_.name, reason);
    if (!metrics) {
      return FormatString(StringId::StationMetricsFailed,
                          {path_ + ", line " + std::to_string(metricsLine_), config_.metrics, reason});
    }
    metrics->firmware(fs::path(config_.firmware).filename().string(), facts.fileSha256);
    config_.metricsServer = std::move(metrics);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadStationFile(const std::string& path, StationConfig& config, CheckedSflFile& firmware,
                                           TransferFacts& facts) {
  config = {};
  return Reader(path, config).read(firmware, facts);
}

std::optional<std::string> CheckFirmwareBeforeRound(const StationConfig& config, const TransferFacts& facts) {
  // The file is read again: a firmware replaced under a running station
  // must not go into radios that the record says got the old one.
  // Its folder's manifest is read again too: one that now refuses it wins.
  CheckedSflFile now;
  TransferFacts nowFacts;
  std::optional<SflFileProblem> warning;
  const std::optional<SflFileProblem> problem =
      LoadFileToWrite(config.firmware, config.verify, config.trust, now, nowFacts, warning);
  if (problem && problem->id != StringId::FileCannotBeOpened && nowFacts.fileSha256 == facts.fileSha256) {
    return ProblemText(*problem);
  }
  if (problem || nowFacts.fileSha256 != facts.fileSha256) {
    return FormatString(StringId::StationFirmwareChanged, {config.firmware});
  }
  return std::nullopt;
}

}  // namespace tarvel

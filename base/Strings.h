// The program's string table: every text that a message box, the status
// line or the command line shows comes from here, addressed by number.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tarvel {

enum class StringId : unsigned {
  AboutMenu = 101,           // "&About Tarvel..."
  Version = 102,             // "Tarvel 1.10"
  StatusIndicator = 103,     // "ST"
  FileCannotBeOpened = 104,
  PortCannotBeHandled = 105,
  PortInitFailed = 106,
  CommunicationError = 107,
  FlashWriteFailed = 108,
  WriteSucceeded = 110,
  SyncError = 111,
  CantCloseWhileAccessing = 112,
  ReadSucceeded = 113,
  ReadFailed = 114,
  InvalidSflFile = 115,      // a record cut short or holding a non-hex digit
  PortAccessHint = 116,      // permission denied on a device: how to get access
  Writing = 117,             // status text during a write
  SyncSucceeded = 118,       // the command line's connection check
  NotYetAvailable = 119,     // a command-line command not built yet
  NoSerialPorts = 120,
  VerifySucceeded = 121,     // tarvel-cli write --verify
  VerifyFailed = 122,
  ReadBackTime = 123,
  InvalidBlockText = 124,    // an end block that is not three hex digits
  OutputNotRegular = 130,    // an output that exists and is not a regular file
  OutputIsInput = 131,       // an output that names the run's input file
  Stopped = 132,             // a write or read ended by a stop request (Ctrl-C)
  StopRequested = 133,       // the command line's answer to the first Ctrl-C
  StoppedAtOnce = 134,       // ... and to the second
  // tarvel-cli's hints (what to do next) and its own messages. "%s" marks
  // where FormatString puts its values, in order.
  PortMissingHint = 150,
  PortBusyHint = 151,
  PortCheckHint = 152,
  SyncHint = 153,
  WritePartlyHint = 154,  // also what a stopped write left in the radio; %s: the last block
  WriteNothingHint = 155,
  BlockRefusedHint = 156,
  VerifyMismatchHint = 157,
  ReadPartialHint = 158,
  VerifyNotCompleted = 159,
  UnknownCommand = 160,
  ShortUsage = 161,
  OutputExists = 162,
  DataOutsideDropped = 163,
  FolderCannotBeOpened = 164,
  RecordFileFailed = 165,
  UsageHint = 166,
  // Several radios at once (tarvel-cli write and sync with several ports).
  RadioWaiting = 167,        // the live lines' states
  RadioConnecting = 168,
  RadioWriting = 169,
  RadioVerifying = 170,
  RadioTableColumns = 171,   // the end table's headings, separated by tabs
  RadiosSucceeded = 172,     // %s: how many radios
  RadiosFailed = 173,        // %s failed of %s
  NextRoundPrompt = 174,     // %s: the round just done
  NoPortGiven = 175,
  PortsFileUnreadable = 176, // %s: the file, the reason
  PortNamedTwice = 177,      // %s: the port as given the second time
  TooManyPorts = 178,        // %s: the most
  ReadKeptHint = 190,        // %s: where a whole read went, the output it did not replace
  WindowUsage = 180,         // tarvel --help
  PortsFileLineTooLong = 181,  // %s: the file, the line number, the most bytes
  PortsFileLineNul = 182,      // %s: the file, the line number
  FilesClash = 183,            // %s: two options, the file they both name
  EnvironmentValueInvalid = 184,  // %s: the variable, its value, the option
  SettingsFileTooLarge = 185,     // %s: the file, the most bytes
  // The diagnosis of a port and a loader that do not answer.
  DiagPortMissing = 191,           // %s: the port
  DiagPortMissingHint = 192,       // %s: the ports there are
  DiagNoPortsHint = 193,
  DiagPortDenied = 194,            // %s: the port, its group
  DiagPortDeniedHint = 195,        // %s: the group, the user
  DiagPortBusy = 196,              // %s: the port, who holds it
  DiagPortBusyHint = 197,
  DiagAnotherProgram = 198,
  DiagAdapter = 199,               // %s: what is known of it
  DiagPortFailed = 200,            // %s: the port, the system's reason
  DiagLoaderSilent = 201,          // %s: the cable
  DiagLoaderSilentHint = 202,
  DiagLoaderSilentDoctorHint = 203,  // %s: the port
  DiagOtherCable = 204,            // %s: the cable tried, the cable that answered
  DiagOtherCableHint = 205,        // %s: the cable, its option value, its name in the window
  DiagGarbled = 206,               // %s: the bytes
  DiagGarbledHint = 207,           // %s: the speed, the cable
  DiagLateReplies = 208,           // %s: milliseconds
  DiagLateRepliesHintLinux = 209,  // %s: the timer's sysfs file
  DiagLateRepliesHintWindows = 210,
  DiagLateRepliesHintOther = 211,
  DiagLoaderAnswered = 212,        // %s: the cable, the speed, milliseconds
  DiagLatencyTimer = 213,          // %s: milliseconds
  DiagLatencyAfterRequest = 214,   // %s: milliseconds before, after
  HistoryNoRecordFile = 215,
  HistoryRecordUnreadable = 216,   // %s: the file, the reason
  HistoryLinesSkipped = 217,       // %s: how many, the file
  ReplaceFilePrompt = 218,         // %s: the file that exists
  NoSerialPortFound = 219,         // the window's port box and WRITE without a port
  // The station: a production bench of several beds in one window.
  StationFileUnreadable = 240,  // %s: the file, the reason
  StationLineBroken = 241,      // %s: the file, the line number, the line
  StationSectionUnknown = 242,  // %s: the file, the line number, the section
  StationKeyUnknown = 243,      // %s: the file, the line number, the key
  StationValueUnknown = 244,    // %s: the file, the line number, key=value, what it takes
  StationKeyMissing = 245,      // %s: the file, the key
  StationNoBeds = 246,          // %s: the file
  StationBedTwice = 247,        // %s: the file, the line number, the bed
  StationPortTwice = 248,       // %s: the file, the line number, the port, the bed that has it
  StationFirmwareUnusable = 249,  // %s: the file, the line number, the firmware, why
  StationDigestMismatch = 250,    // %s: the file, the line number, the firmware, its digest, the digest asked for
  StationTooManyBeds = 251,       // %s: the file, the line number, the most
  StationFirmwareChanged = 252,   // %s: the firmware
  StationBedIdle = 253,           // the lamps
  StationBedRunning = 254,
  StationBedPassed = 255,
  StationBedFailed = 256,
  StationStoppedAt = 257,         // %s: the blocks written, of how many
  StationCloseDuringRound = 258,
  StationSerialRequired = 259,    // %s: the bed
  StationWindowTitle = 260,       // %s: the station file's name
  StationHeader = 261,            // %s: firmware, digest, cable, speed
  StationCounters = 262,          // %s: label, passed, failed, total, yield
  StationSession = 263,
  StationToday = 264,
  StationStart = 265,
  StationSerialLabel = 266,
  StationHeaderVerify = 267,      // the same, with a read-back after each write
  AskSerialPrompt = 268,          // %s: the port
  AskSerialNoTerminal = 269,
  // The folder's manifest (SHA256SUMS) and its signature.
  ManifestDiffers = 270,
  ManifestDiffersDetail = 271,     // %s: the file, its digest, the listed digest, the manifest
  ManifestNotListed = 272,
  ManifestNotListedDetail = 273,   // %s: the file, the manifest
  ManifestRequired = 274,
  ManifestNotCounted = 275,
  ManifestMissing = 276,           // %s: the manifest's name, the folder
  ManifestUnreadable = 277,        // %s: the manifest, the reason
  SignatureMissing = 278,          // %s: the manifest, the signature, the reason
  SignatureMalformed = 279,        // %s: the signature
  SignatureUnknownKey = 280,       // %s: the manifest, the key id
  SignatureBad = 281,              // %s: the signature, the manifest
  KeyFileUnreadable = 282,         // %s: the key file, the reason
  KeyFileNotKey = 283,             // %s: the key file
  CheckedAgainst = 284,            // %s: the manifest's name, the key id
  CheckedAgainstUnsigned = 285,    // %s: the manifest's name
  StatusDiffers = 286,             // %s: the manifest's name, the file's digest, the listed digest
  StatusNotListed = 287,           // %s: the manifest's name
  StatusNotCounted = 288,          // %s: why
  RowDigestTip = 289,              // %s: the short digest, the status line
  ManifestWritten = 290,           // %s: the manifest, how many files
  ManifestNoFiles = 291,           // %s: the folder
  TraceCannotBeCreated = 292,      // a trace file that the system refused
  StationSerialsMissing = 293,     // %s: the beds without one
  StationSerialTwice = 294,        // %s: the serial number, the beds that have it
  StationSerialTooLong = 295,      // %s: the bed, the most characters
  StationSerialNoMatch = 296,      // %s: the bed, the serial number, the pattern
  StationBedVerifying = 297,       // the lamp during the read-back
  StationCallTechnician = 298,     // a station's hint where the command line's asks for a setting
  // The window's questions before a write that the manifest does not vouch for.
  ManifestNotListedPrompt = 310,
  ManifestNotCountedPrompt = 311,
  DumpFolderNotWritable = 312,     // %s: the folder, the system's reason
  // The command line's signs of life: the steps, the summary, the port it picks.
  StepWaking = 341,            // %s: the port, the cable, the speed
  StepSynchronised = 342,
  StepSynchronisedAnswer = 343,  // %s: the wake-ups sent, the letters sent, milliseconds
  StepWriting = 344,           // %s: how many blocks
  StepVerifying = 345,
  StepReading = 346,           // %s: how many blocks
  StepClosed = 347,
  StepRetryRefused = 348,      // %s: the block, the retry, the byte the loader answered
  StepRetrySumDiffers = 349,   // %s: the block, the retry, the loader's sum, the sum sent
  StepRetryCutShort = 350,     // %s: the block, the retry, the bytes that came
  SummaryWrote = 351,          // %s: port, file, bytes, blocks, retries, seconds, rate, percent
  SummaryRead = 352,           // the same for a read, without retries
  OnlySerialPort = 353,        // %s: the port
  NoPortNoneFound = 354,
  NoPortSeveralFound = 355,    // %s: the ports there are (none of them the only USB adapter)
  NoPortForLine = 356,
  // The factory's database beside the record file.
  DatabasePassword = 360,
  DatabaseUnusable = 361,          // %s: why
  DatabaseQueued = 362,            // %s: the record file, why
  DatabaseWaiting = 363,           // %s: how many lines, why
  DatabaseSetAside = 364,          // %s: how many lines, the file they went to, the first reason
  DatabaseNeedsRecord = 365,
  SerialPassedBefore = 366,        // %s: the serial number, where, when
  SerialRewriteHint = 367,
  SerialCheckSkipped = 368,        // %s: why
  SchemaCurrent = 369,             // %s: the version
  SchemaOlder = 370,               // %s: the database's version, this program's
  SchemaNewer = 371,               // %s: the database's version, this program's
  SchemaMissing = 372,
  SchemaMade = 373,                // %s: the version
  RecordsSent = 374,               // %s: stored, waiting
  DatabaseNoClient = 375,
  SerialPassedConfirm = 376,       // %s: what SerialPassedBefore says
  DatabaseFailed = 377,            // %s: why
  StationKeyTwice = 330,           // %s: the file, the line number, the key, the line that gave it first
  StationSectionTwice = 331,       // %s: the file, the line number, the section, the line that gave it first
  StationLineNul = 332,            // %s: the file, the line number
  ListTooLarge = 333,              // %s: the file, the most bytes an SFL file has
  ListDigestsLeftOut = 334,        // %s: how many files, the seconds spent
  AskSerialEnded = 335,            // %s: the round
  AskSerialNeeded = 336,           // Enter alone at a serial number's prompt
  ManifestLinkOutside = 337,       // %s: the manifest, its folder
  // Messages that point a newcomer the right way.
  DiagNotSerial = 380,             // %s: the port
  DiagNotSerialHint = 381,         // %s: the port
  DiagPortDeniedMemberHint = 382,  // %s: the group, the port
  DumpFolderMissing = 383,         // %s: the folder
  IntelHexGivenHint = 384,         // %s: the file, the file, the SFL file to make, the SFL file
  NoReplyDetail = 385,             // %s: the block
  PortGoneDetail = 386,            // %s: the block
  UnknownCommandGuess = 387,       // %s: the word, the command meant
  OptionsBeforeCommand = 388,      // %s: the command line in its order
  OptionNeedsValue = 389,          // %s: the option, what it takes
  CableUnknown = 390,              // %s: the value, the cables
  SpeedNotNumber = 391,            // %s: the value, the speeds
  ValueNotOneOf = 392,             // %s: the value, the values taken
  UnknownOption = 393,             // %s: the option
  UnknownOptionGuess = 394,        // %s: the option, the option meant
  UnexpectedArgument = 395,        // %s: the argument
  OptionRequired = 396,            // %s: the option or argument, what it takes
  DiagCableUntold = 398,           // %s: the cable
  DiagCableUntoldHint = 399,       // %s: the cable
  DiagWrongFraming = 400,          // %s: the cable asked for, the cable that answered
  WindowUnknownOption = 410,       // %s: the argument
  WindowStationFileMissing = 411,  // %s: the option
  // Events and metrics for a line's supervision.
  EventsFileFailed = 420,      // the event stream cannot be opened
  StationMetricsFailed = 421,  // %s: the station file, the address, the reason
  StationMetricsNotBuilt = 422,  // %s: the station file, the line number
  StationEventsFailed = 423,   // %s: the station file, the line number, the reason
  StationBedKeyUnknown = 430,      // %s: the file, the line number, the key
  StationWaitingForRadio = 431,    // a hands-free bed's state line
  StationRemoveRadio = 432,
  StationWaitingForSerial = 433,
  StationBedPaused = 434,
  StationPausedLine = 435,         // below the counters while paused
  StationPausedRefusal = 436,
  StationStartMode = 437,          // %s: the mode
  StationPauseButton = 438,
  StationResumeButton = 439,
  WaitingForPort = 440,            // %s: the port
  WaitingForAnswer = 441,          // %s: the port
  WaitTimedOut = 442,              // %s: the seconds
  WaitStopped = 443,
  AppTitle = 57344,
  ConversionFailed = 57345,
  ConversionSucceeded = 57346,
};

// The text for a terminal or a single-line field: the CR and CR LF that end
// a message box's lines become LF.
std::string TerminalText(std::string_view text);

// A word of a command line as a POSIX shell takes it back: as it is when it
// holds only letters, digits and the usual punctuation of paths, else in
// single quotes.
std::string ShellWord(std::string_view text);

// The text of an entry; an unknown id gives an empty text.
std::string_view LoadString(StringId id);

// The text of `id` with each "%s" replaced by the next of `values` (a
// missing value leaves nothing).
std::string FormatString(StringId id, std::initializer_list<std::string_view> values);

}  // namespace tarvel

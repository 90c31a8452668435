#include "base/Strings.h"

namespace tarvel {

std::string_view LoadString(StringId id) {
  switch (id) {
    case StringId::AboutMenu: return "&About Tarvel...";
    case StringId::Version: return "Tarvel 1.10";
    case StringId::StatusIndicator: return "ST";
    case StringId::FileCannotBeOpened: return "The file cannot be opened.";
    case StringId::PortCannotBeHandled: return "The COMM Port cannot be handled.";
    case StringId::PortInitFailed: return "Failed in the initialization of the COMM Port.";
    case StringId::CommunicationError: return "Communication Error.";
    case StringId::FlashWriteFailed: return "Failed in the flash writing.";
    case StringId::WriteSucceeded: return "Succeeded in writing the flash.";
    // The three sentences are separated by a single carriage return.
    case StringId::SyncError:
      return "Synchronization Error.\rPlease confirm the connection with the equipment.\r"
             "Or, please change connected speed.";
    case StringId::CantCloseWhileAccessing: return "Can't close while accessing the flash.";
    case StringId::ReadSucceeded: return "Succeeded in reading the flash. ";
    case StringId::ReadFailed: return "Failed in reading the flash. ";
    case StringId::InvalidSflFile: return "The file is not a valid SFL file.";
    case StringId::PortAccessHint:
      return "Access to the port was denied. Add your user to the 'dialout' group "
             "(sudo adduser $USER dialout) and log in again.";
    case StringId::Writing: return "Writing...";
    case StringId::SyncSucceeded: return "Synchronized with the boot loader.";
    case StringId::NotYetAvailable: return "This command is not yet available.";
    case StringId::NoSerialPorts: return "No serial ports were found.";
    case StringId::VerifySucceeded: return "Verified: the flash holds every block of the file.";
    case StringId::VerifyFailed: return "The flash differs from the file.";
    case StringId::ReadBackTime: return "Read back in ";
    case StringId::InvalidBlockText: return "A block number is one to three hex digits, 000 to FFF.";
    case StringId::OutputNotRegular: return "The output exists and is not a regular file; it was left as it is.";
    case StringId::OutputIsInput: return "The output is the input file itself; nothing was written.";
    case StringId::Stopped: return "Stopped before the end.";
    case StringId::StopRequested:
      return "Stopping after the exchange in progress; press Ctrl-C again to end at once.";
    case StringId::StoppedAtOnce: return "Ended at once; the port was released.";
    case StringId::PortMissingHint:
      return "%s does not exist. 'tarvel-cli ports' lists the serial devices of this machine.";
    case StringId::PortBusyHint:
      return "%s is in use by another program. Close that program, or choose another port ('tarvel-cli ports').";
    case StringId::PortCheckHint:
      return "Check that %s is the cable's serial device: 'tarvel-cli ports' lists the serial devices of this machine.";
    case StringId::SyncHint:
      return "Check the cable type (--cable %s), that the radio is in loader mode, and the speed (--baud %s); "
             "--trace FILE logs every byte sent and received.";
    case StringId::WritePartlyHint:
      return "Blocks 000-%s of the new firmware are written; write it again before switching the radio off.";
    case StringId::WriteNothingHint:
      return "No block of the new firmware is written yet; write it again before switching the radio off.";
    case StringId::BlockRefusedHint:
      return "Block %s was refused six times; write again before switching the radio off. If the same block "
             "fails again, the radio's flash may be faulty.";
    case StringId::VerifyMismatchHint: return "The first differing block is %s; write the file again.";
    case StringId::ReadPartialHint:
      return "%s holds %s of the %s blocks asked for, not the whole flash; read again.";
    case StringId::VerifyNotCompleted: return "The verification could not be completed.";
    case StringId::UnknownCommand: return "unknown command '%s'";
    case StringId::ShortUsage:
      return "Usage: tarvel-cli COMMAND [OPTIONS]\n"
             "Commands: write, read, sync, doctor, history, convert, list, comment, manifest, ports, database, records.\n"
             "'tarvel-cli --help' describes them; 'tarvel-cli COMMAND --help' lists a command's options.";
    case StringId::OutputExists: return "%s exists; --force replaces it.";
    case StringId::DataOutsideDropped:
      return "warning: data of the HEX file outside blocks %s-%s is not in the SFL file: %s";
    case StringId::FolderCannotBeOpened: return "The folder cannot be opened.";
    case StringId::RecordFileFailed: return "The record file cannot be written.";
    case StringId::UsageHint: return "'tarvel-cli %s --help' lists the options.";
    case StringId::RadioWaiting: return "waiting";
    case StringId::RadioConnecting: return "connecting";
    case StringId::RadioWriting: return "writing";
    case StringId::RadioVerifying: return "verifying";
    case StringId::RadioTableColumns: return "Round\tPort\tBlocks\tRetries\tTime\tRate\tChecksum\tVerified\tResult";
    case StringId::RadiosSucceeded: return "All %s radios succeeded.";
    case StringId::RadiosFailed: return "%s of %s radios failed.";
    case StringId::NextRoundPrompt:
      return "Round %s done. Connect the next radios and press Enter (q and Enter to end).";
    case StringId::NoPortGiven: return "no port given: -p PORT (once per radio) or --ports-file FILE";
    case StringId::PortsFileUnreadable: return "--ports-file: %s cannot be read: %s";
    case StringId::PortsFileLineTooLong: return "--ports-file: %s, line %s: longer than %s bytes";
    case StringId::PortsFileLineNul: return "--ports-file: %s, line %s: a NUL byte is not part of a port's name";
    case StringId::FilesClash: return "%s and %s name the same file: %s";
    case StringId::EnvironmentValueInvalid: return "%s=%s is not a value of %s";
    case StringId::SettingsFileTooLarge:
      return "%s is larger than %s bytes: it is left as it is, and the settings start from their defaults.";
    case StringId::PortNamedTwice: return "the port %s is named twice";
    case StringId::ReadKeptHint:
      return "%s holds the whole flash as read; %s was left as it is. Rename the file to keep it as the dump.";
    case StringId::TooManyPorts: return "at most %s ports at once";
    case StringId::DiagPortMissing: return "%s does not exist.";
    case StringId::DiagPortMissingHint: return "The serial ports of this machine: %s.";
    case StringId::DiagNoPortsHint: return "This machine has no serial port: connect the cable.";
    case StringId::DiagPortDenied: return "No permission to open %s: it belongs to the group '%s'.";
    case StringId::DiagPortDeniedHint:
      return "Add your user to the group '%s' (sudo adduser %s %s), then log out and in again.";
    case StringId::DiagPortBusy: return "%s is held by %s.";
    case StringId::DiagPortBusyHint: return "Close that program, or choose another port.";
    case StringId::DiagAnotherProgram: return "another program";
    case StringId::DiagAdapter: return "The adapter: %s.";
    case StringId::DiagPortFailed: return "%s cannot be opened: %s.";
    case StringId::DiagLoaderSilent: return "The loader does not answer with the %s cable.";
    case StringId::DiagLoaderSilentHint:
      return "Check that the radio is on and in loader mode, and that the cable is plugged in at both ends.";
    case StringId::DiagLoaderSilentDoctorHint:
      return "Check that the radio is on and in loader mode, and that the cable is plugged in at both ends; "
             "'tarvel-cli doctor -p %s' also tries the other cable.";
    case StringId::DiagOtherCable: return "The loader does not answer with the %s cable, but it does with the %s cable.";
    case StringId::DiagOtherCableHint: return "Choose the %s cable: --cable %s, or %s in the window.";
    case StringId::DiagGarbled: return "The radio answers with bytes that are not the loader's (%s).";
    case StringId::DiagGarbledHint:
      return "Check the speed (--baud %s; the loader may run at another) and the cable type (--cable %s).";
    case StringId::DiagLateReplies: return "Replies come %s ms after the request: the adapter holds them back.";
    case StringId::DiagLateRepliesHintLinux: return "Set the adapter's latency timer to 1 ms: echo 1 | sudo tee %s";
    case StringId::DiagLateRepliesHintWindows:
      return "Set the adapter's latency timer to 1 ms: Device Manager, the port's Properties, Port Settings, "
             "Advanced, Latency Timer (msec).";
    case StringId::DiagLateRepliesHintOther:
      return "Lower the adapter's latency setting, or use an adapter that passes replies on at once.";
    case StringId::DiagLoaderAnswered: return "The loader answers with the %s cable at %s baud (replies in %s ms).";
    case StringId::HistoryNoRecordFile: return "No record file: give --record FILE or set TARVEL_RECORD.";
    case StringId::HistoryRecordUnreadable: return "The record file %s cannot be read: %s";
    case StringId::HistoryLinesSkipped: return "%s lines of %s are not records and were left out.";
    case StringId::ManifestDiffers:
      return "The file differs from its folder's manifest: it is damaged or altered. It was not written.";
    case StringId::ManifestDiffersDetail: return "%s: %s in the file, %s in %s";
    case StringId::ManifestNotListed: return "The file is not listed in its folder's manifest; it is written unchecked.";
    case StringId::ManifestNotListedDetail: return "%s is not listed in %s";
    case StringId::ManifestRequired:
      return "The file cannot be checked against a manifest, and a manifest is required. It was not written.";
    case StringId::ManifestNotCounted:
      return "The folder's manifest does not count; the file is written unchecked.";
    case StringId::ManifestNotListedPrompt:
      return "The file is not listed in its folder's manifest.\nDo you want to write it unchecked?";
    case StringId::ManifestNotCountedPrompt:
      return "The folder's manifest does not count.\nDo you want to write the file unchecked?";
    case StringId::DatabasePassword:
      return "The database connection string holds a password. Put the password in libpq's password file "
             "(~/.pgpass, or the file PGPASSFILE names) or in its service file, and leave it out of the string.";
    case StringId::DatabaseUnusable: return "The database connection string cannot be used: %s";
    case StringId::DatabaseQueued: return "The record is kept in %s and waits for the database: %s";
    case StringId::DatabaseWaiting: return "records: %s waiting for the database (%s)";
    case StringId::DatabaseSetAside: return "%s record lines that the database refuses were set aside in %s: %s";
    case StringId::DatabaseNeedsRecord:
      return "--database needs a record file (--record or TARVEL_RECORD): the record file is written first and "
             "feeds the database.";
    case StringId::SerialPassedBefore: return "%s passed at %s on %s";
    case StringId::SerialRewriteHint: return "The radio was not touched. Give --rewrite to write it again.";
    case StringId::SerialCheckSkipped: return "The serial number was not checked against the database: %s";
    case StringId::SchemaCurrent: return "The database's schema is current (version %s).";
    case StringId::SchemaOlder:
      return "The database's schema is version %s; this Tarvel uses version %s: run tarvel-cli database init.";
    case StringId::SchemaNewer:
      return "The database's schema is version %s, newer than this Tarvel's version %s: use a newer Tarvel.";
    case StringId::SchemaMissing: return "The database has no Tarvel schema: run tarvel-cli database init.";
    case StringId::SchemaMade: return "The database's schema is version %s.";
    case StringId::RecordsSent: return "%s record lines stored in the database, %s waiting.";
    case StringId::DatabaseNoClient:
      return "This build has no database client: a Linux tarvel-cli records send --follow forwards its record "
             "files.";
    case StringId::SerialPassedConfirm: return "%s.\nWrite it again?";
    case StringId::DatabaseFailed: return "The database cannot be used: %s";
    case StringId::DumpFolderNotWritable:
      return "The folder %s cannot be written (%s). The radio was not touched.";
    case StringId::WindowUnknownOption: return "'%s' is not an option of tarvel: tarvel --help lists them.";
    case StringId::WindowStationFileMissing: return "%s needs the station file: tarvel --station FILE.ini";
    case StringId::ManifestMissing: return "there is no %s in %s";
    case StringId::ManifestUnreadable: return "%s cannot be read: %s";
    case StringId::SignatureMissing: return "%s is not signed: %s cannot be read: %s";
    case StringId::SignatureMalformed: return "%s is not a minisign signature";
    case StringId::SignatureUnknownKey: return "%s is signed by key %s, which is not among the trusted keys";
    case StringId::SignatureBad: return "the signature %s does not match %s";
    case StringId::KeyFileUnreadable: return "the key file %s cannot be read: %s";
    case StringId::KeyFileNotKey: return "%s is not a minisign public key";
    case StringId::CheckedAgainst: return "Checked against %s (signed by %s)";
    case StringId::CheckedAgainstUnsigned: return "Checked against %s (signature not checked: no trusted key)";
    case StringId::StatusDiffers: return "Differs from %s: %s in the file, %s listed";
    case StringId::StatusNotListed: return "Not listed in %s";
    case StringId::StatusNotCounted: return "Not checked: %s";
    case StringId::RowDigestTip: return "SHA-256 %s\n%s";
    case StringId::ManifestWritten: return "%s written: %s files.";
    case StringId::ManifestNoFiles: return "There are no SFL files in %s; no manifest was written.";
    case StringId::TraceCannotBeCreated: return "The --trace file cannot be created.";
    case StringId::StationSerialsMissing: return "No serial number in %s: this station needs one for every radio.";
    case StringId::StationSerialTwice: return "%s is in %s: a serial number names one radio.";
    case StringId::StationSerialTooLong: return "The serial number in %s is longer than %s characters: scan it again.";
    case StringId::StationSerialNoMatch: return "%s: '%s' is not a serial number of this line (%s): scan it again.";
    case StringId::StationBedVerifying: return "verifying";
    case StringId::StationCallTechnician:
      return "Check that the radio sits in its bed and is switched on; if it still does not answer, call the line's "
             "technician.";
    case StringId::NoSerialPortFound: return "no serial port found: connect the cable";
    case StringId::ReplaceFilePrompt: return "%s already exists.\nDo you want to replace it?";
    case StringId::DiagLatencyTimer: return "latency timer %s ms";
    case StringId::DiagLatencyAfterRequest: return "latency timer %s ms, %s ms after the low-latency request";
    case StringId::WindowUsage:
      return "Usage: tarvel [-q | -qk | --station FILE.ini]\n"
             "Writes SFL firmware files into a radio's flash over its serial boot loader.\n"
             "  -q         service mode: \"SFL Conv...\", \"Dump...\" and the +5V and MD switches\n"
             "  -qk        service mode in the dark colour scheme\n"
             "  --station FILE.ini\n"
             "             the station window: several radios written at once, one bed each,\n"
             "             with the settings that the station file fixes\n"
             "  --help     this text\n"
             "  --version  the program's version\n"
             "The settings file tarvel.ini is kept in the folder the program is started from,\n"
             "which is also the first folder listed. tarvel-cli does the same work from scripts.\n";
    case StringId::StationKeyTwice: return "%s, line %s: %s= is given twice; line %s gives it first.";
    case StringId::StationSectionTwice: return "%s, line %s: the section [%s] is given twice; line %s gives it first.";
    case StringId::StationLineNul: return "%s, line %s: a NUL byte has no place in a station file.";
    case StringId::ListTooLarge:
      return "%s: too large for an SFL file (more than %s bytes): it cannot be written, and no digest is made.";
    case StringId::ListDigestsLeftOut:
      return "The digests of %s files were left out: making them took longer than %s s.";
    case StringId::AskSerialEnded: return "Ended before round %s: no radio of that round was written.";
    case StringId::AskSerialNeeded: return "A serial number is needed for this radio.";
    case StringId::ManifestLinkOutside:
      return "%s is a link that leads out of %s: a manifest names the files of its own folder, and stays there.";
    case StringId::StationFileUnreadable: return "The station file %s cannot be read: %s";
    case StringId::StationLineBroken: return "%s, line %s: '%s' is neither a [section] nor a KEY=VALUE line.";
    case StringId::StationSectionUnknown:
      return "%s, line %s: a station file has no section [%s] ([Station], [Beds], and one named after a bed).";
    case StringId::StationBedKeyUnknown: return "%s, line %s: a bed's section has no key %s (Start, Poll, StartLine).";
    case StringId::StationWaitingForRadio: return "waiting for a radio";
    case StringId::StationRemoveRadio: return "remove the radio";
    case StringId::StationWaitingForSerial: return "waiting for its serial number";
    case StringId::StationBedPaused: return "paused";
    case StringId::StationPausedLine: return "Paused: no bed starts until F8 resumes.";
    case StringId::StationPausedRefusal: return "The station is paused: F8 resumes it.";
    case StringId::StationStartMode: return "start: %s";
    case StringId::StationPauseButton: return "Pause (F8)";
    case StringId::StationResumeButton: return "Resume (F8)";
    case StringId::WaitingForPort: return "waiting for %s to appear";
    case StringId::WaitingForAnswer: return "waiting for the loader on %s to answer";
    case StringId::WaitTimedOut: return "No radio came within %s s.";
    case StringId::WaitStopped: return "Stopped while waiting for the radio.";
    case StringId::StationKeyUnknown:
      return "%s, line %s: [Station] has no key %s (Firmware, Sha256, Cable, Baud, Verify, Record, RequireSerial, "
             "SerialMax, SerialPattern, RequireManifest, Keys, Database, Start, Poll, StartLine).";
    case StringId::StationValueUnknown: return "%s, line %s: %s is not a value the station takes (%s).";
    case StringId::StationKeyMissing: return "%s: [Station] has no %s= line.";
    case StringId::StationNoBeds: return "%s: [Beds] names no bed (one NAME=PORT line per bed).";
    case StringId::StationBedTwice: return "%s, line %s: the bed '%s' is named twice.";
    case StringId::StationPortTwice: return "%s, line %s: the port %s is already the port of '%s'.";
    case StringId::StationFirmwareUnusable: return "%s, line %s: the firmware %s cannot be written: %s";
    case StringId::StationDigestMismatch: return "%s, line %s: the firmware %s has the SHA-256 %s, not %s.";
    case StringId::StationTooManyBeds: return "%s, line %s: a station has at most %s beds.";
    case StringId::StationFirmwareChanged:
      return "The firmware %s has changed since the station was opened: open the station again.";
    case StringId::StationBedIdle: return "idle";
    case StringId::StationBedRunning: return "running";
    case StringId::StationBedPassed: return "passed";
    case StringId::StationBedFailed: return "failed";
    case StringId::StationStoppedAt: return "Stopped: %s of %s blocks written.";
    case StringId::StationCloseDuringRound:
      return "The beds are writing.\nStop every bed after the block in progress and close the station?";
    case StringId::StationSerialRequired: return "%s has no serial number: this station needs one for every radio.";
    case StringId::StationWindowTitle: return "Tarvel station - %s";
    case StringId::StationHeader: return "%s   SHA-256 %s   %s at %s baud";
    case StringId::StationCounters: return "%s: %s passed, %s failed, %s in all, yield %s";
    case StringId::StationSession: return "This session";
    case StringId::StationToday: return "Today";
    case StringId::StationStart: return "Start";
    case StringId::StationSerialLabel: return "Serial:";
    case StringId::StationHeaderVerify: return "%s   SHA-256 %s   %s at %s baud, every block read back";
    case StringId::AskSerialPrompt: return "Serial number of the radio on %s: ";
    case StringId::AskSerialNoTerminal: return "--ask-serial reads the serial numbers from a terminal, and there is none.";
    case StringId::StepWaking: return "waking the loader on %s (%s cable, %s baud)";
    case StringId::StepSynchronised: return "synchronised with the loader";
    case StringId::StepSynchronisedAnswer:
      return "synchronised: the loader answered 00 after %s wake-ups and 'Z' after %s letters (%s ms)";
    case StringId::StepWriting: return "writing %s blocks";
    case StringId::StepVerifying: return "reading the written blocks back to compare them with the file";
    case StringId::StepReading: return "reading %s blocks";
    case StringId::StepClosed: return "the port is closed";
    case StringId::StepRetryRefused: return "block %s sent again (retry %s of 5): the loader answered %s, not 05";
    case StringId::StepRetrySumDiffers:
      return "block %s sent again (retry %s of 5): the loader's sum %s differs from the sum sent, %s";
    case StringId::StepRetryCutShort:
      return "block %s sent again (retry %s of 5): the loader's reply was cut short (%s bytes)";
    case StringId::SummaryWrote:
      return "%s: %s: wrote %s bytes (%s blocks, %s retries) in %s s, %s, %s % of the line";
    case StringId::SummaryRead:
      return "%s: %s: read %s bytes (%s blocks) in %s s, %s, %s % of the line";
    case StringId::OnlySerialPort: return "using %s, the only serial port";
    case StringId::NoPortNoneFound:
      return "no port given (-p PORT), and this machine has no serial port: connect the cable";
    case StringId::NoPortSeveralFound:
      return "no port given: -p PORT names the cable's port, one of this machine's serial ports: %s";
    case StringId::NoPortForLine:
      return "no port given: -p PORT (once per radio) or --ports-file FILE; a line of radios never picks its ports";
    case StringId::EventsFileFailed: return "The event stream cannot be written.";
    case StringId::StationMetricsFailed: return "%s: the metrics cannot be served on %s: %s";
    case StringId::StationMetricsNotBuilt: return "%s, line %s: this build of the station serves no metrics (Metrics=).";
    case StringId::StationEventsFailed: return "%s, line %s: the event stream cannot be written: %s";
    case StringId::AppTitle: return "Tarvel";
    case StringId::ConversionFailed: return "Failed in the conversion of the file. ";
    case StringId::ConversionSucceeded: return "Succeeded in the conversion of the file. ";
    case StringId::DiagNotSerial: return "%s cannot be opened: not a serial device.";
    case StringId::DiagNotSerialHint: return "%s is not a serial port; `tarvel-cli ports` lists them.";
    case StringId::DiagPortDeniedMemberHint:
      return "Your user is in the group '%s' already, and %s is still closed to it: log out and in again, "
             "or ask the administrator about the device's permissions.";
    case StringId::DumpFolderMissing: return "The folder %s does not exist. The radio was not touched.";
    case StringId::IntelHexGivenHint:
      return "%s is an Intel-HEX file, not an SFL file: convert it first (tarvel-cli convert %s -o %s), "
             "then write %s.";
    case StringId::NoReplyDetail:
      return "No reply to block %s: the line was lost (the adapter unplugged, or the radio powered off).";
    case StringId::PortGoneDetail:
      return "The port went away at block %s: the line was lost (the adapter unplugged, or the radio powered off).";
    case StringId::UnknownCommandGuess: return "unknown command '%s'; did you mean '%s'?";
    case StringId::OptionsBeforeCommand: return "options come after the command: %s";
    case StringId::OptionNeedsValue: return "%s needs a value: %s";
    case StringId::CableUnknown: return "%s is not a cable: %s";
    case StringId::SpeedNotNumber: return "%s is not a speed: %s";
    case StringId::ValueNotOneOf: return "%s is not one of %s";
    case StringId::UnknownOption: return "unknown option %s";
    case StringId::UnknownOptionGuess: return "unknown option %s; did you mean %s?";
    case StringId::UnexpectedArgument: return "'%s' was not expected here";
    case StringId::OptionRequired: return "%s is missing: %s";
    case StringId::DiagCableUntold:
      return "The loader answers the synchronisation with the %s cable, but nothing the loader offers tells the "
             "two cables apart.";
    case StringId::DiagCableUntoldHint:
      return "The cable's label says which it is (QAP-8 or QAP-10). Without one: a write with the wrong cable "
             "fails at its first block (exit 7), and then %s is the one to use.";
    case StringId::DiagWrongFraming:
      return "The loader answers the synchronisation with the %s cable, but not a block's exchange: it speaks "
             "the %s cable's framing.";
  }
  return {};
}

std::string FormatString(StringId id, std::initializer_list<std::string_view> values) {
  const std::string_view text = LoadString(id);
  std::string out;
  const auto* value = values.begin();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
      if (value != values.end()) out += *value++;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string ShellWord(std::string_view text) {
  constexpr std::string_view kPlain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+.,/:=@%";
  if (!text.empty() && text.find_first_not_of(kPlain) == std::string_view::npos) return std::string(text);
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace tarvel

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
    case StringId::AppTitle: return "Tarvel";
    case StringId::ConversionFailed: return "Failed in the conversion of the file. ";
    case StringId::ConversionSucceeded: return "Succeeded in the conversion of the file. ";
  }
  return {};
}

}  // namespace tarvel

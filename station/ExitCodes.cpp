#include "station/ExitCodes.h"

namespace tarvel {

int ExitCodeFor(StringId failure) {
  switch (failure) {
    case StringId::PortCannotBeHandled:
    case StringId::PortInitFailed: return kExitPort;
    case StringId::SyncError: return kExitSync;
    case StringId::FileCannotBeOpened:
    case StringId::InvalidSflFile: return kExitFile;
    case StringId::CommunicationError: return kExitCommunication;
    case StringId::FlashWriteFailed: return kExitFlashWrite;
    case StringId::ReadFailed: return kExitFlashRead;
    case StringId::ConversionFailed: return kExitConversion;
    case StringId::OutputNotRegular:
    case StringId::OutputIsInput: return kExitUsage;
    default: return kExitCommunication;
  }
}

}  // namespace tarvel

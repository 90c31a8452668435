#include "run/ExitCodes.h"

namespace tarvel {

int ExitCodeFor(JobKind job, const Failure& failure) {
  switch (failure.kind) {
    case FailureKind::None: return kExitOk;
    case FailureKind::Port:
    case FailureKind::Configuration: return kExitPort;
    case FailureKind::LoaderSilent: return kExitSync;
    case FailureKind::File: return kExitFile;
    // A read that lost the line ends with "Failed in reading the flash."
    case FailureKind::LineLost: return job == JobKind::Read ? kExitFlashRead : kExitCommunication;
    case FailureKind::BlockRefused: return kExitFlashWrite;
    case FailureKind::OutputRefused:
    case FailureKind::Usage: return kExitUsage;
    case FailureKind::OutputFailed:
    case FailureKind::Converter: return kExitFlashRead;
    case FailureKind::Stopped: return kExitStopped;
  }
  return kExitCommunication;
}

}  // namespace tarvel

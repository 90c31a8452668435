// The exit codes of tarvel-cli, one per kind of failure, so that scripts on
// a production line can tell a missing radio from a bad file.
#pragma once

#include "base/Failure.h"

namespace tarvel {

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 2,
  kExitPort = 3,           // the port cannot be opened or configured
  kExitSync = 4,           // the loader does not answer the synchronisation
  kExitFile = 5,           // the SFL file cannot be opened or is not valid
  kExitCommunication = 6,  // a reply did not come
  kExitFlashWrite = 7,     // a block failed all its attempts
  kExitFlashRead = 8,
  kExitConversion = 9,
  kExitVerify = 10,        // the read-back differs from the file
  kExitDatabase = 11,      // the database cannot be reached, or its schema or a line is refused
  kExitSerialPassed = 12,  // the serial number passed before (the database says so); --rewrite writes it
  kExitStopped = 130,      // a stop request ended it, as Ctrl-C ends a shell's job
};

enum class JobKind { Write, Read, Sync };

// The exit code of a job that failed so; 0 for no failure.
int ExitCodeFor(JobKind job, const Failure& failure);

inline constexpr const char* kExitCodeHelp =
    "Exit codes:\n"
    "  0  success\n"
    "  2  usage error\n"
    "  3  the port cannot be opened or configured\n"
    "  4  synchronisation error (the radio's loader does not answer)\n"
    "  5  the SFL file cannot be opened or is not valid\n"
    "  6  communication error (a reply did not come)\n"
    "  7  a flash block could not be written\n"
    "  8  reading the flash failed\n"
    "  9  the conversion failed\n"
    " 10  the read-back differs from the file\n"
    " 11  the database cannot be used (database, records)\n"
    " 12  the serial number passed before (write --serial with --database; --rewrite writes it)\n"
    "129  stopped by SIGHUP (the terminal closed)\n"
    "130  stopped by Ctrl-C (SIGINT)\n"
    "143  stopped by SIGTERM\n";

}  // namespace tarvel

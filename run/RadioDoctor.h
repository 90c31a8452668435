// The doctor's walk from the port to the loader, stopping at the first
// broken link: the port's existence, permission and holder, the adapter and
// its latency timer, then a synchronisation with the cable asked for and,
// when the loader is silent, with the other cable. Both framings may answer
// a synchronisation, so a read of block 000 follows it: only the right
// framing gets a whole block back. It writes nothing to the flash.
#pragma once

#include <string>
#include <vector>

#include "base/Cable.h"
#include "base/Clock.h"
#include "diagnosis/Doctor.h"
#include "diagnosis/Finding.h"
#include "serial/SerialPort.h"

namespace tarvel {

struct DoctorRequest {
  std::string port;
  Cable cable = Cable::Qap8;
  unsigned baud = 38400;
};

// `opener` and `clock` null: the system's ports and a steady clock.
std::vector<Finding> RunDoctor(const DoctorRequest& request, const PortSystem& system, PortOpener* opener = nullptr,
                               Clock* clock = nullptr);

}  // namespace tarvel

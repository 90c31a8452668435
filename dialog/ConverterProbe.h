// Which converter libraries service mode can offer: "&SFL Conv..." needs the
// HEX-to-SFL library, "&Dump..." the flash-image library.
#pragma once

#include "service/ConverterLibrary.h"

namespace tarvel {

struct ConverterAvailability {
  bool hexToSfl = true;
  bool flashImage = true;
};

// The start-up probe: each library loaded with its working export, then
// unloaded at once. A library without the export counts as missing.
ConverterAvailability ProbeConverterLibraries(const ConverterSearch& search = ProgramConverterSearch());

}  // namespace tarvel

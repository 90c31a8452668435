// Which converter libraries service mode can offer: "&SFL Conv..." needs the
// HEX-to-SFL library, "&Dump..." the flash-image library.
#pragma once

namespace tarvel {

struct ConverterAvailability {
  bool hexToSfl = true;
  bool flashImage = true;
};

// Hook for the start-up probe of the two libraries. It loads nothing yet and
// reports both present, so that service mode shows both buttons.
ConverterAvailability ProbeConverterLibraries();

}  // namespace tarvel

#include "dialog/ConverterProbe.h"

#include "service/Converters.h"

namespace tarvel {

ConverterAvailability ProbeConverterLibraries(const ConverterSearch& search) {
  const ConverterPresence presence = ProbeConverters(search);
  return ConverterAvailability{presence.hexToSfl, presence.flashImage};
}

}  // namespace tarvel

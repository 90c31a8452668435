#include "ui/ConverterProbe.h"

namespace tarvel {

ConverterAvailability ProbeConverterLibraries() { return ConverterAvailability{}; }

}  // namespace tarvel

// An SFL file's records as the loader's write packets.
#pragma once

#include <cstddef>

#include "formats/SflFile.h"
#include "loader/LoaderContext.h"

namespace tarvel {

// Builds the next record's write packet in the transmit buffer (framed or
// bare by the cable type) and adds its data bytes to m_wCheckSum. False
// when the file holds no further record. Returns the packet length sent
// from the buffer start in `length`.
bool ReadSflRecord(LoaderContext& ctx, SflTextReader& reader, std::size_t& length);

}  // namespace tarvel

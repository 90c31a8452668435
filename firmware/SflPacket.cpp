#include "firmware/SflPacket.h"

#include "loader/Packets.h"

namespace tarvel {

bool ReadSflRecord(LoaderContext& ctx, SflTextReader& reader, std::size_t& length) {
  SflRecord record;
  if (ParseSflRecord(reader, record) != SflParse::Record) return false;
  for (std::uint8_t byte : record.data) ctx.m_wCheckSum = static_cast<std::uint16_t>(ctx.m_wCheckSum + byte);
  length = BuildWritePacket(ctx, record.block, record.data);
  return true;
}

}  // namespace tarvel

// The SFL record reader: the whole-file check, the record parser and the
// write packets built from the records, on any bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "firmware/SflPacket.h"
#include "formats/SflWriter.h"
#include "loader/LoaderContext.h"
#include "loader/Packets.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using namespace tarvel;
using tarvel::fuzz::Expect;

// Nothing here opens a port or shows anything.
class NoPorts final : public PortOpener {
 public:
  OpenResult open(const std::string&, unsigned, const PortTimeouts&) override {
    OpenResult result;
    result.status = OpenStatus::CannotOpen;
    return result;
  }
};

class StillClock final : public Clock {
 public:
  std::uint32_t tickMs() override { return 0; }
  void pauseMs(std::uint32_t) override {}
};

// Every record's packets, for one cable type, checked against the parse.
void CheckPackets(std::span<const std::uint8_t> bytes, int cableType, const std::vector<SflRecord>& records) {
  NoPorts opener;
  StillClock clock;
  NoUiPump pump;
  LoaderContext ctx(opener, NoObserver(), clock, pump);
  ctx.m_nType = cableType;

  SflTextReader reader(bytes);
  std::size_t count = 0;
  std::size_t length = 0;
  std::uint16_t dataSum = 0;
  while (ReadSflRecord(ctx, reader, length)) {
    Expect(count < records.size(), "ReadSflRecord gave more records than ParseSflRecord");
    const SflRecord& record = records[count];
    const std::size_t offset = PacketOffset(ctx);
    Expect(length == offset + kWritePacketSize && length <= ctx.m_abPacket.size(), "write packet length");
    const std::uint8_t* p = ctx.m_abPacket.data() + offset;
    Expect(p[0] == kWriteCommand, "write packet command byte");
    Expect((p[1] << 8 | p[2]) == record.block, "write packet block number");
    Expect(std::equal(record.data.begin(), record.data.end(), p + 3), "write packet data");
    Expect((p[3 + kBlockSize] << 8 | p[4 + kBlockSize]) == BlockSum(record.block, record.data),
           "write packet sum");
    if (ctx.framed()) {
      Expect(ctx.m_abPacket[0] == 0x50 && ctx.m_abPacket[1] == 0xAF && ctx.m_abPacket[6] == kWritePacketSize,
             "frame header");
    }
    for (std::uint8_t b : record.data) dataSum = static_cast<std::uint16_t>(dataSum + b);
    ++count;
  }
  Expect(count == records.size(), "ReadSflRecord successes differ from the records parsed");
  Expect(ctx.m_wCheckSum == dataSum, "running data sum");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);

  const std::optional<std::string> problem = CheckSflFile(bytes);

  std::vector<SflRecord> records;
  SflTextReader reader(bytes);
  SflRecord record;
  std::string where;
  SflParse last = SflParse::Record;
  while ((last = ParseSflRecord(reader, record, &where)) == SflParse::Record) {
    records.push_back(record);
    Expect(reader.line() >= 1, "line count");
  }
  // The check accepts exactly the files the parser reads to their end that
  // hold a record and no '+' after their end-of-file byte.
  const auto endOfData = std::find(bytes.begin(), bytes.end(), std::uint8_t{0x1A});
  const bool plusAfterEnd = std::find(endOfData, bytes.end(), std::uint8_t{'+'}) != bytes.end();
  const bool refused = last == SflParse::Invalid || records.empty() || plusAfterEnd;
  Expect(problem.has_value() == refused, "CheckSflFile disagrees with ParseSflRecord");
  if (problem && last == SflParse::Invalid) {
    Expect(!where.empty() && problem->find(where) != std::string::npos, "the problem names its place");
    Expect(problem->rfind("record " + std::to_string(records.size() + 1) + ",", 0) == 0,
           "the problem names the failing record");
  }
  // Once at the end, the reader stays there.
  if (last == SflParse::End) Expect(ParseSflRecord(reader, record) == SflParse::End, "parsing after the end");

  CheckPackets(bytes, kTypeQap8, records);
  CheckPackets(bytes, kTypeQap10, records);

  // What the writer makes of a record reads back as the same record.
  for (const SflRecord& r : records) {
    const std::string line = SflRecordLine(r.block, r.data);
    Expect(line.size() == kSflRecordBytes, "record line length");
    const auto* lineBytes = reinterpret_cast<const std::uint8_t*>(line.data());
    SflTextReader again(std::span<const std::uint8_t>(lineBytes, line.size()));
    SflRecord back;
    Expect(ParseSflRecord(again, back) == SflParse::Record && back.block == r.block && back.data == r.data,
           "a written record reads back unchanged");
  }
  return 0;
}

#include "serial/TracingPort.h"

#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/Fakes.h"

namespace tarvel {
namespace {

using std::chrono::microseconds;

// Hands out the given times one per trace line, then keeps the last.
TraceLog::Elapsed Times(std::vector<microseconds> times) {
  return [times = std::move(times), next = std::size_t{0}]() mutable {
    return times[std::min(next++, times.size() - 1)];
  };
}

TEST(TracingPort, LogsTrafficLinesAndOpensWithTimes) {
  std::ostringstream out;
  auto log = std::make_shared<TraceLog>(
      out, Times({microseconds(0), microseconds(12'345'678), microseconds(12'351'000),
                  microseconds(13'000'000), microseconds(13'500'999), microseconds(13'600'000),
                  microseconds(13'600'000), microseconds(14'000'000), microseconds(125'000'000)}));
  test::FakeOpener inner;
  TracingOpener opener(inner, log);

  OpenResult opened = opener.open("/dev/ttyUSB0", 38400, {});
  ASSERT_EQ(opened.status, OpenStatus::Ok);
  auto& port = *opened.port;

  const std::vector<std::uint8_t> packet = {0x57, 0x00, 0x0A};
  EXPECT_EQ(port.write(packet).count, 3u);
  EXPECT_EQ(inner.line->allWritten(), packet);

  inner.line->reply({0x05});
  std::uint8_t reply[2] = {};
  const IoResult one = port.read({reply, 1});
  EXPECT_EQ(one.count, 1u);
  EXPECT_EQ(reply[0], 0x05);
  EXPECT_EQ(port.read(reply).status, PortStatus::TimedOut);

  port.setLine(ControlLine::Dtr, true);
  std::vector<std::uint8_t> block(40, 0xAB);
  port.write(block);
  opened.port.reset();

  inner.failWith = OpenStatus::CannotOpen;
  EXPECT_EQ(opener.open("/dev/ttyUSB9", 9600, {}).status, OpenStatus::CannotOpen);

  const std::string row32 =
      "AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB";
  EXPECT_EQ(out.str(),
            "    0.000 * open /dev/ttyUSB0 at 38400 baud: ok\n"
            "   12.345 > 57 00 0A\n"
            "   12.351 < 05\n"
            "   13.000 < timed out, 0 of 2 bytes\n"
            "   13.500 * DTR on\n"
            "   13.600 > " + row32 + "\n"
            "   13.600 > AB AB AB AB AB AB AB AB\n"
            "   14.000 * close /dev/ttyUSB0\n"
            "  125.000 * open /dev/ttyUSB9 at 9600 baud: cannot open (No such file)\n");
  // The port closed exactly once, underneath the trace.
  EXPECT_EQ(inner.line->openPorts, 0);
}

TEST(TracingPort, RefusedConfigurationStillHandsBackTheOpenPort) {
  std::ostringstream out;
  test::FakeOpener inner;
  inner.failWith = OpenStatus::CannotConfigure;
  TracingOpener opener(inner, std::make_shared<TraceLog>(out, Times({microseconds(1000)})));

  OpenResult opened = opener.open("/dev/ttyUSB0", 14400, {});
  EXPECT_EQ(opened.status, OpenStatus::CannotConfigure);
  ASSERT_NE(opened.port, nullptr);
  opened.port.reset();
  EXPECT_EQ(inner.line->openPorts, 0);
  EXPECT_EQ(out.str(),
            "    0.001 * open /dev/ttyUSB0 at 14400 baud: cannot configure (Invalid argument)\n"
            "    0.001 * close /dev/ttyUSB0\n");
}

}  // namespace
}  // namespace tarvel

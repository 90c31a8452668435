// The simulated radio, driven through its terminal with plain POSIX calls, as
// any program on the other end of the line would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/FaultPlan.h"
#include "sim/SimRadio.h"

namespace tarvel::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Block = std::array<std::uint8_t, kBlockBytes>;

// Long enough for a loaded machine; nothing waits this long when all is well.
constexpr auto kAnswerBound = 3000ms;
// How long an expected silence is watched.
constexpr auto kSilence = 150ms;

const Bytes kVerify{0xAA, 0x55, 0xA0};
const Bytes kStartPacket{0x51, 0xAE, 0x01, 0, 0, 0, 0, 0};

Bytes Framed(const Bytes& payload) {
  Bytes frame{0x50, 0xAF, 0, 0, 0, 0, static_cast<std::uint8_t>(payload.size()), 0};
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

Bytes WakeUp() {
  Bytes frame = Framed({0x00});
  frame.insert(frame.end(), 9, 0x00);
  return frame;
}

Block Pattern(std::uint8_t seed) {
  Block data;
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(seed + i * 7);
  return data;
}

Block Erased() {
  Block data;
  data.fill(0xFF);
  return data;
}

std::uint16_t Sum(std::uint16_t block, const Block& data) {
  unsigned sum = (block >> 8) + (block & 0xFF);
  for (std::uint8_t byte : data) sum += byte;
  return static_cast<std::uint16_t>(sum);
}

Bytes SumBytes(std::uint16_t sum) {
  return {static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)};
}

Bytes WritePacket(std::uint16_t block, const Block& data, std::uint16_t sumError = 0) {
  Bytes packet{'W', static_cast<std::uint8_t>(block >> 8), static_cast<std::uint8_t>(block)};
  packet.insert(packet.end(), data.begin(), data.end());
  const Bytes sum = SumBytes(static_cast<std::uint16_t>(Sum(block, data) + sumError));
  packet.insert(packet.end(), sum.begin(), sum.end());
  return packet;
}

Bytes ReadRequest(std::uint16_t block, const std::string& access = "KORVA-B5813-2004") {
  Bytes packet{'R'};
  packet.insert(packet.end(), access.begin(), access.end());
  packet.push_back(static_cast<std::uint8_t>(block >> 8));
  packet.push_back(static_cast<std::uint8_t>(block));
  return packet;
}

Bytes ReadReply(std::uint16_t block, const Block& data) {
  Bytes reply(data.begin(), data.end());
  const Bytes sum = SumBytes(Sum(block, data));
  reply.insert(reply.end(), sum.begin(), sum.end());
  return reply;
}

Bytes VerifyReply(std::uint16_t sum) {
  Bytes reply{0x05};
  const Bytes bytes = SumBytes(sum);
  reply.insert(reply.end(), bytes.begin(), bytes.end());
  return reply;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The tool's end of the line: the slave device, raw, with bounded waits.
class Line {
 public:
  explicit Line(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    termios tio{};
    if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
      ::cfmakeraw(&tio);
      ::tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  ~Line() {
    if (fd_ >= 0) ::close(fd_);
  }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  bool isOpen() const { return fd_ >= 0; }

  void send(const Bytes& bytes) {
    std::size_t sent = 0;
    const auto deadline = std::chrono::steady_clock::now() + kAnswerBound;
    while (sent < bytes.size() && std::chrono::steady_clock::now() < deadline) {
      const ssize_t n = ::write(fd_, bytes.data() + sent, bytes.size() - sent);
      if (n > 0) sent += static_cast<std::size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EINTR) break;
      if (n <= 0) wait(POLLOUT, 10ms);
    }
    ASSERT_EQ(sent, bytes.size());
  }

  // Up to `count` bytes, or what came within `bound`.
  Bytes receive(std::size_t count, std::chrono::milliseconds bound = kAnswerBound) {
    Bytes bytes;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (bytes.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left <= 0ms || !wait(POLLIN, left)) break;
      std::uint8_t buffer[256];
      const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
      if (n <= 0 && errno != EAGAIN && errno != EINTR) break;
      if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }

  bool silent() { return receive(1, kSilence).empty(); }

  // True when the far end has closed the terminal.
  bool hungUp() {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerBound;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd fd{fd_, POLLIN, 0};
      if (::poll(&fd, 1, 100) > 0) {
        if (fd.revents & (POLLHUP | POLLERR)) return true;
        std::uint8_t byte;
        const ssize_t n = ::read(fd_, &byte, 1);
        if (n == 0 || (n < 0 && errno == EIO)) return true;
      }
    }
    return false;
  }

 private:
  bool wait(short events, std::chrono::milliseconds bound) {
    pollfd fd{fd_, events, 0};
    return ::poll(&fd, 1, static_cast<int>(bound.count())) > 0;
  }

  int fd_;
};

std::unique_ptr<Radio> StartRadio(Options options) {
  std::string error;
  auto radio = Radio::Start(options, &error);
  EXPECT_NE(radio, nullptr) << error;
  return radio;
}

Options Unlinked(Cable cable = Cable::Qap8, Faults faults = {}) {
  Options options;
  options.cable = cable;
  options.linkPath.clear();
  options.faults = faults;
  return options;
}

Bytes Send(Cable cable, const Bytes& packet) {
  return cable == Cable::Qap10 ? Framed(packet) : packet;
}

// The answers of a sound synchronisation, with either cable.
void Synchronise(Line& line, Cable cable) {
  line.send(cable == Cable::Qap10 ? WakeUp() : Bytes{0x00});
  ASSERT_EQ(line.receive(1), Bytes{0x00});
  line.send(Send(cable, {'Z'}));
  ASSERT_EQ(line.receive(1), Bytes{'Z'});
}

std::filesystem::path TempDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  auto dir = std::filesystem::temp_directory_path() /
             ("tarvel-sim-" + std::to_string(::getpid()) + "-" + info->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

TEST(SimRadio, Qap8SyncAnswersEachStepOnceAndAgainOnAZero) {
  auto radio = StartRadio(Unlinked());
  ASSERT_TRUE(radio);
  Line line(radio->devicePath());
  ASSERT_TRUE(line.isOpen());

  line.send({0x00});
  EXPECT_EQ(line.receive(1), Bytes{0x00});
  line.send({0x00, 0x00});  // the tool still calling: ignored
  EXPECT_TRUE(line.silent());
  line.send({'Z'});
  EXPECT_EQ(line.receive(1), Bytes{'Z'});
  line.send({'Z', 'Z'});  // letters sent before the tool saw ours
  EXPECT_TRUE(line.silent());
  line.send(kVerify);  // serving packets now
  EXPECT_EQ(line.receive(3), VerifyReply(0));
  Synchronise(line, Cable::Qap8);  // a zero where a packet should start
  line.send(kVerify);
  EXPECT_EQ(line.receive(3), VerifyReply(0));
  EXPECT_EQ(radio->stats().syncBytes, 2);
}

TEST(SimRadio, WritesVerifiesAndReadsBackWithEitherCable) {
  for (Cable cable : {Cable::Qap8, Cable::Qap10}) {
    SCOPED_TRACE(cable == Cable::Qap8 ? "QAP-8" : "QAP-10");
    auto radio = StartRadio(Unlinked(cable));
    ASSERT_TRUE(radio);
    Line line(radio->devicePath());
    Synchronise(line, cable);

    const Block data = Pattern(0x30);
    line.send(Send(cable, WritePacket(0x123, data)));
    EXPECT_EQ(line.receive(1), Bytes{0x05});
    line.send(Send(cable, kVerify));
    EXPECT_EQ(line.receive(3), VerifyReply(Sum(0x123, data)));
    line.send(Send(cable, ReadRequest(0x123)));
    EXPECT_EQ(line.receive(130), ReadReply(0x123, data));
    EXPECT_TRUE(line.silent());

    const Block preset = Pattern(0x99);
    radio->setBlock(0xFFF, preset);
    line.send(Send(cable, ReadRequest(0xFFF)));
    EXPECT_EQ(line.receive(130), ReadReply(0xFFF, preset));

    EXPECT_EQ(radio->block(0x123), data);
    EXPECT_EQ(radio->storedBlocks(), std::vector<std::uint16_t>{0x123});
    const Stats stats = radio->stats();
    EXPECT_EQ(stats.writePackets, 1);
    EXPECT_EQ(stats.blocksStored, 1);
    EXPECT_EQ(stats.verifies, 1);
    EXPECT_EQ(stats.readRequests, 2);
  }
}

TEST(SimRadio, RefusesBadWritesAndIgnoresBadReads) {
  auto radio = StartRadio(Unlinked());
  ASSERT_TRUE(radio);
  Line line(radio->devicePath());
  Synchronise(line, Cable::Qap8);

  const Block data = Pattern(1);
  line.send(WritePacket(4, data, 1));  // wrong sum
  EXPECT_EQ(line.receive(1), Bytes{0x15});
  line.send(WritePacket(0x1000, data));  // beyond the flash
  EXPECT_EQ(line.receive(1), Bytes{0x15});
  line.send(ReadRequest(4, "KORVA-B5813-2005"));
  EXPECT_TRUE(line.silent());
  line.send(ReadRequest(0x1000));
  EXPECT_TRUE(line.silent());
  line.send(ReadRequest(4));  // still serving
  EXPECT_EQ(line.receive(130), ReadReply(4, Erased()));
  EXPECT_TRUE(radio->storedBlocks().empty());
}

TEST(SimRadio, Qap10CableUnframesAndResets) {
  auto radio = StartRadio(Unlinked(Cable::Qap10));
  ASSERT_TRUE(radio);
  Line line(radio->devicePath());

  line.send(kStartPacket);
  line.send({0x00});  // bare bytes never reach the loader
  EXPECT_TRUE(line.silent());
  line.send(WakeUp());
  EXPECT_EQ(line.receive(1), Bytes{0x00});
  EXPECT_TRUE(line.silent());  // the nine zeros behind the payload are dropped
  line.send(WakeUp());
  EXPECT_TRUE(line.silent());
  line.send(Framed({'Z'}));
  EXPECT_EQ(line.receive(1), Bytes{'Z'});

  // The start packet puts the loader back to waiting for a zero.
  line.send(kStartPacket);
  line.send(Framed({'Z'}));
  EXPECT_TRUE(line.silent());
  line.send(Concat({WakeUp(), Framed({'Z'}), Framed(kVerify)}));
  EXPECT_EQ(line.receive(5), Concat({{0x00, 'Z'}, VerifyReply(0)}));

  const Stats stats = radio->stats();
  EXPECT_EQ(stats.startPackets, 2);
  EXPECT_EQ(stats.syncBytes, 2);
}

TEST(SimRadio, PacketsSplitAcrossWritesOrRunTogether) {
  for (Cable cable : {Cable::Qap8, Cable::Qap10}) {
    SCOPED_TRACE(cable == Cable::Qap8 ? "QAP-8" : "QAP-10");
    auto radio = StartRadio(Unlinked(cable));
    ASSERT_TRUE(radio);
    Line line(radio->devicePath());
    Synchronise(line, cable);

    const Block data = Pattern(0x42);
    const Bytes write = Send(cable, WritePacket(7, data));
    for (std::size_t cut : {std::size_t{1}, std::size_t{5}, std::size_t{70}}) {
      line.send(Bytes(write.begin(), write.begin() + static_cast<std::ptrdiff_t>(cut)));
      std::this_thread::sleep_for(20ms);
      line.send(Bytes(write.begin() + static_cast<std::ptrdiff_t>(cut), write.end()));
      EXPECT_EQ(line.receive(1), Bytes{0x05}) << "cut at " << cut;
    }

    line.send(Concat({write, Send(cable, kVerify), Send(cable, ReadRequest(7))}));
    EXPECT_EQ(line.receive(134), Concat({{0x05}, VerifyReply(Sum(7, data)), ReadReply(7, data)}));
    EXPECT_EQ(radio->stats().blocksStored, 4);
  }
}

TEST(SimRadio, KeepsFlashImageAndLog) {
  const auto dir = TempDir();
  const auto image = dir / "flash.bin";
  {
    std::ofstream file(image, std::ios::binary);
    const std::string start(200, '\x11');  // shorter than a whole image
    file.write(start.data(), static_cast<std::streamsize>(start.size()));
  }
  Options options = Unlinked();
  options.flashFile = image.string();
  options.logFile = (dir / "line.log").string();
  const Block data = Pattern(3);
  {
    auto radio = StartRadio(options);
    ASSERT_TRUE(radio);
    Block second = Erased();
    std::fill_n(second.begin(), 200 - kBlockBytes, 0x11);
    EXPECT_EQ(radio->block(1), second);
    EXPECT_EQ(radio->block(2), Erased());

    Line line(radio->devicePath());
    Synchronise(line, Cable::Qap8);
    line.send(WritePacket(0xFFF, data));
    EXPECT_EQ(line.receive(1), Bytes{0x05});
  }
  EXPECT_EQ(std::filesystem::file_size(image), kFlashBlocks * kBlockBytes);
  std::ifstream log(options.logFile);
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("tool>radio 00\n"), std::string::npos) << text;
  EXPECT_NE(text.find("radio>tool 5A\n"), std::string::npos) << text;

  auto radio = StartRadio(options);
  ASSERT_TRUE(radio);
  EXPECT_EQ(radio->block(0xFFF), data);
  EXPECT_EQ(radio->block(0)[0], 0x11);
  EXPECT_EQ(radio->block(2), Erased());
  std::filesystem::remove_all(dir);
}

TEST(SimRadio, LinkIsReplacedAndRemovedByItsOwner) {
  const auto dir = TempDir();
  Options options = Unlinked();
  options.linkPath = (dir / "radio").string();
  auto first = StartRadio(options);
  ASSERT_TRUE(first);
  EXPECT_EQ(std::filesystem::read_symlink(options.linkPath), first->devicePath());
  auto second = StartRadio(options);
  ASSERT_TRUE(second);
  EXPECT_EQ(std::filesystem::read_symlink(options.linkPath), second->devicePath());
  first.reset();  // not its link any more
  EXPECT_TRUE(std::filesystem::is_symlink(options.linkPath));
  for (int open = 0; open < 3; ++open) {  // the port opened again and again
    Line line(second->linkPath());
    ASSERT_TRUE(line.isOpen()) << "open " << open;
    Synchronise(line, Cable::Qap8);
  }
  second.reset();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(options.linkPath)));

  std::ofstream(options.linkPath) << "not a link";
  std::string error;
  EXPECT_EQ(Radio::Start(options, &error), nullptr);
  EXPECT_FALSE(error.empty());
  std::filesystem::remove_all(dir);
}

TEST(SimRadio, PacedLineTakesAtLeastTheBytesTime) {
  Options options = Unlinked();
  options.baud = 9600;
  auto radio = StartRadio(options);
  ASSERT_TRUE(radio);
  Line line(radio->devicePath());
  Synchronise(line, Cable::Qap8);
  const auto start = std::chrono::steady_clock::now();
  line.send(ReadRequest(5));
  EXPECT_EQ(line.receive(130), ReadReply(5, Erased()));
  // 19 bytes in and 130 out, 11 bits each: 171 ms. Only the lower bound is
  // certain on a busy machine.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 160ms);
}

TEST(SimRadio, HangsUpAfterStoredBlocks) {
  Faults faults;
  faults.hangUpAfterBlocks = 1;
  auto radio = StartRadio(Unlinked(Cable::Qap8, faults));
  ASSERT_TRUE(radio);
  Line line(radio->devicePath());
  Synchronise(line, Cable::Qap8);
  line.send(WritePacket(1, Pattern(1)));
  EXPECT_EQ(line.receive(1), Bytes{0x05});
  line.send(WritePacket(2, Pattern(2)));
  EXPECT_TRUE(line.hungUp());
  EXPECT_EQ(radio->storedBlocks(), std::vector<std::uint16_t>{1});
}

// Each fault, as a script of what the tool sends and what must come back;
// an empty answer means silence.
struct Step {
  Bytes send;
  Bytes answer;
};

struct FaultCase {
  const char* name;
  Cable cable;
  Faults faults;
  std::vector<Step> steps;
};

std::vector<FaultCase> FaultCases() {
  const Block data = Pattern(0x50);
  const std::uint16_t sum = Sum(5, data);
  Block corrupted = data;
  corrupted[0] = static_cast<std::uint8_t>(~corrupted[0]);
  const Bytes write5 = WritePacket(5, data);
  const Step syncByte{{0x00}, {0x00}};
  const Step syncLetter{{'Z'}, {'Z'}};
  const Step silence{{}, {}};
  return {
      {"refuse",
       Cable::Qap8,
       {.refuseBlock = 5, .refuseWrites = 2},
       {syncByte,
        syncLetter,
        {write5, {0x15}},
        {write5, {0x15}},
        {write5, {0x05}},
        {WritePacket(6, data), {0x05}}}},
      {"bad verify high",
       Cable::Qap8,
       {.badVerifyBlock = 5, .badVerifies = 1, .badVerifyByte = 1},
       {syncByte,
        syncLetter,
        {write5, {0x05}},
        {kVerify, VerifyReply(static_cast<std::uint16_t>(sum ^ 0xFF00))},
        {kVerify, VerifyReply(sum)}}},
      {"bad verify low",
       Cable::Qap8,
       {.badVerifyBlock = 5, .badVerifies = 2, .badVerifyByte = 2},
       {syncByte,
        syncLetter,
        {write5, {0x05}},
        {kVerify, VerifyReply(static_cast<std::uint16_t>(sum ^ 0x00FF))},
        {write5, {0x05}},
        {kVerify, VerifyReply(static_cast<std::uint16_t>(sum ^ 0x00FF))},
        {kVerify, VerifyReply(sum)}}},
      {"silent", Cable::Qap8, {.silent = true}, {{{0x00}, {}}, {{0x00, 0x00, 'Z'}, {}}}},
      {"silent after",
       Cable::Qap8,
       {.silentAfterBlocks = 1},
       {syncByte,
        syncLetter,
        {write5, {0x05}},
        {kVerify, VerifyReply(sum)},
        {WritePacket(6, data), {}},
        {{0x00}, {}}}},
      {"sync after",
       Cable::Qap8,
       {.syncAfter = 2},
       {{{0x00}, {}}, {{0x00}, {}}, syncByte, syncLetter}},
      {"sync after, framed",
       Cable::Qap10,
       {.syncAfter = 1},
       {{WakeUp(), {}}, {WakeUp(), {0x00}}, {Framed({'Z'}), {'Z'}}}},
      {"short read",
       Cable::Qap8,
       {.shortReadBlock = 5, .shortReadBytes = 10},
       {syncByte,
        syncLetter,
        {ReadRequest(5), Bytes(10, 0xFF)},
        silence,
        {ReadRequest(6), ReadReply(6, Erased())}}},
      {"silent read",
       Cable::Qap8,
       {.silentReadBlock = 5},
       {syncByte, syncLetter, {ReadRequest(5), {}}, {ReadRequest(6), ReadReply(6, Erased())}}},
      {"corrupt",
       Cable::Qap8,
       {.corruptBlock = 5},
       {syncByte,
        syncLetter,
        {write5, {0x05}},
        {kVerify, VerifyReply(sum)},
        {ReadRequest(5), ReadReply(5, corrupted)}}},
      {"garbage",
       Cable::Qap8,
       {.garbageBefore = 2},
       {{{0x00}, {0xEE, 0xEE, 0x00}}, {{'Z'}, {0xEE, 0xEE, 'Z'}}, {write5, {0xEE, 0xEE, 0x05}}}},
  };
}

TEST(SimRadio, Faults) {
  for (const FaultCase& fault : FaultCases()) {
    SCOPED_TRACE(fault.name);
    auto radio = StartRadio(Unlinked(fault.cable, fault.faults));
    ASSERT_TRUE(radio);
    Line line(radio->devicePath());
    for (std::size_t i = 0; i < fault.steps.size(); ++i) {
      const Step& step = fault.steps[i];
      line.send(step.send);
      if (step.answer.empty()) {
        EXPECT_TRUE(line.silent()) << "step " << i;
      } else {
        EXPECT_EQ(line.receive(step.answer.size()), step.answer) << "step " << i;
      }
    }
  }
}

// A fault option's value when one process serves a line of radios.
TEST(SimRadio, ScopedFaultValues) {
  struct Case {
    const char* text;
    std::optional<std::pair<int, int>> expected;  // radio, number
  };
  const Case cases[] = {
      {"5", std::pair{-1, 5}},  {"2:5", std::pair{2, 5}}, {"0:0x1F", std::pair{0, 31}},
      {"3:7", std::pair{3, 7}}, {"4:7", std::nullopt},     {"-1:7", std::nullopt},
      {"x:7", std::nullopt},    {"1:", std::nullopt},      {"", std::nullopt},
      {"1:2:3", std::nullopt},  {"12abc", std::nullopt},   {"0x", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto scoped = ParseScopedNumber(c.text, 4);
    ASSERT_EQ(scoped.has_value(), c.expected.has_value());
    if (scoped) {
      EXPECT_EQ(std::pair(scoped->radio, scoped->value), *c.expected);
    }
  }
}

}  // namespace
}  // namespace tarvel::sim

#include "cli/RadioOptions.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/FileIo.h"

namespace tarvel::cli {

void AddRadioOptions(CLI::App& command, RadioOptions& options) {
  command.add_option("--port", options.port, "Serial device of the cable, e.g. /dev/ttyUSB0")->required();
  command.add_option("--cable", options.cable, "Interface cable")
      ->transform(CLI::IsMember({"qap8", "qap10"}, CLI::ignore_case))
      ->default_str("qap8");
  command.add_option("--baud", options.baud,
                     "Line speed: 9600 14400 19200 38400 56000 115200 with QAP-8; 38400 115200 with QAP-10")
      ->default_str("38400");
  command.add_flag("--rts-pulse", options.rtsPulse, "Pulse RTS before the QAP-10 start packet");
  command.add_option("--trace", options.traceFile, "Log every byte sent and received to FILE");
  command.add_flag("--quiet", options.quiet, "No progress display");
  command.add_flag("--json", options.json, "One JSON object on stdout instead of the text");
}

std::string CheckRate(const RadioOptions& options) {
  static constexpr unsigned kQap8[] = {9600, 14400, 19200, 38400, 56000, 115200};
  static constexpr unsigned kQap10[] = {38400, 115200};
  const bool qap10 = options.cable == "qap10";
  const auto& rates = qap10 ? std::span<const unsigned>(kQap10) : std::span<const unsigned>(kQap8);
  for (unsigned rate : rates) {
    if (rate == options.baud) return {};
  }
  return "--baud " + std::to_string(options.baud) + " is not offered with " + (qap10 ? "QAP-10" : "QAP-8") +
         (qap10 ? " (38400 or 115200)" : " (9600, 14400, 19200, 38400, 56000 or 115200)");
}

std::unique_ptr<RadioSession> RadioSession::Create(const RadioOptions& options, MessageDisplay& messages,
                                                   std::string& error) {
  std::unique_ptr<RadioSession> session(new RadioSession());
  PortOpener* opener = session->system_.get();
  if (!options.traceFile.empty()) {
    session->traceStream_.open(fileio::PathOf(options.traceFile), std::ios::out | std::ios::trunc);
    if (!session->traceStream_) {
      error = "cannot create the trace file " + options.traceFile;
      return nullptr;
    }
    session->tracing_ = std::make_unique<TracingOpener>(*session->system_, session->traceStream_);
    opener = session->tracing_.get();
  }
  session->context_ = std::make_unique<LoaderContext>(*opener, messages, session->clock_, session->pump_);
  LoaderContext& ctx = *session->context_;
  ctx.link.m_strCommName = options.port;
  ctx.link.m_nBaudRate = options.baud;
  ctx.m_nType = options.cable == "qap10" ? kTypeQap10 : kTypeQap8;
  ctx.m_bRtsPulse = options.rtsPulse;
  return session;
}

std::unique_ptr<RadioSession> RadioSession::CreateOrReport(const RadioOptions& options, MessageDisplay& messages) {
  std::string error;
  auto session = Create(options, messages, error);
  if (!session) std::fprintf(stderr, "tarvel-cli: %s\n", error.c_str());
  return session;
}

bool ShowProgress(const RadioOptions& options) { return !options.quiet && ::isatty(STDERR_FILENO); }

void PrintPortAccessHint(const std::string& port) {
  if (::access(port.c_str(), F_OK) == 0 && ::access(port.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
    std::fprintf(stderr, "%s\n", std::string(LoadString(StringId::PortAccessHint)).c_str());
  }
}

}  // namespace tarvel::cli

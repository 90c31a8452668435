// The one open port of a radio conversation and its opening with the fixed
// line settings, plus the two manual line switches ("+5V" = DTR, "MD" = RTS).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/Failure.h"
#include "serial/SerialPort.h"

namespace tarvel {

struct CommLink {
  explicit CommLink(PortOpener& opener) : opener(opener) {}

  PortOpener& opener;
  // The open port; null while none is open. Every open first closes it.
  std::unique_ptr<SerialPort> hComm;
  std::string m_strCommName = "COM1";
  unsigned m_nBaudRate = 38400;
  PortTimeouts timeouts;
};

// Opens m_strCommName at m_nBaudRate into hComm. On failure it returns why
// (105 or 106, with the system's reason); a port that refused its settings
// stays in hComm for the caller to close with CloseCommPort.
std::optional<Failure> OpenCommPort(CommLink& link);
void CloseCommPort(CommLink& link);
// OpenCommPort for steps whose failure is no failure of the procedure (a
// closing line pulse). False: no port is open.
bool OpenCommPortQuietly(CommLink& link);
// OpenCommPort, and on failure the port closed too.
std::optional<Failure> OpenCommPortOrClose(CommLink& link);

// The switch handlers: every click reopens the port; checked raises the line
// and keeps the port open, unchecked lowers it and closes the port. Why the
// port would not open, for the window to show.
std::optional<Failure> OnCheck5V(CommLink& link, bool checked);
std::optional<Failure> OnCheckMD(CommLink& link, bool checked);

}  // namespace tarvel

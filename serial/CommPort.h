// The one open port of a radio conversation and its opening with the fixed
// line settings, plus the two manual line switches ("+5V" = DTR, "MD" = RTS).
#pragma once

#include <memory>
#include <string>

#include "base/MessageDisplay.h"
#include "serial/SerialPort.h"

namespace tarvel {

struct CommLink {
  CommLink(PortOpener& opener, MessageDisplay& messages) : opener(opener), messages(messages) {}

  PortOpener& opener;
  MessageDisplay& messages;
  // The open port; null while none is open. Every open first closes it.
  std::unique_ptr<SerialPort> hComm;
  std::string m_strCommName = "COM1";
  unsigned m_nBaudRate = 38400;
  PortTimeouts timeouts;
};

// Opens m_strCommName at m_nBaudRate into hComm. On failure it has shown 105
// or 106 and returns false; the caller then closes with CloseCommPort.
bool OpenCommPort(CommLink& link);
void CloseCommPort(CommLink& link);
// OpenCommPort without its messages, for steps whose failure is no failure
// of the procedure (a closing line pulse). False: no port is open.
bool OpenCommPortQuietly(CommLink& link);
// OpenCommPort, and on failure the caller's part too: the port closed and
// the message shown (105 or 106) named in `failure`.
bool OpenCommPortOrClose(CommLink& link, StringId& failure);

// The switch handlers: every click reopens the port; checked raises the line
// and keeps the port open, unchecked lowers it and closes the port.
void OnCheck5V(CommLink& link, bool checked);
void OnCheckMD(CommLink& link, bool checked);

}  // namespace tarvel

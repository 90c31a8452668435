#include "serial/CommPort.h"

namespace tarvel {

bool OpenCommPort(CommLink& link) {
  CloseCommPort(link);
  OpenResult opened = link.opener.open(link.m_strCommName, link.m_nBaudRate, link.timeouts);
  link.hComm = std::move(opened.port);
  switch (opened.status) {
    case OpenStatus::Ok:
      return true;
    case OpenStatus::CannotOpen:
      link.messages.showMessage(StringId::PortCannotBeHandled, MessageIcon::Stop, opened.detail);
      return false;
    case OpenStatus::CannotConfigure:
      link.messages.showMessage(StringId::PortInitFailed, MessageIcon::Stop, opened.detail);
      return false;
  }
  return false;
}

void CloseCommPort(CommLink& link) { link.hComm.reset(); }

bool OpenCommPortQuietly(CommLink& link) {
  CloseCommPort(link);
  OpenResult opened = link.opener.open(link.m_strCommName, link.m_nBaudRate, link.timeouts);
  if (opened.status == OpenStatus::Ok) link.hComm = std::move(opened.port);
  return link.hComm != nullptr;
}

bool OpenCommPortOrClose(CommLink& link, StringId& failure) {
  if (OpenCommPort(link)) return true;
  failure = link.hComm ? StringId::PortInitFailed : StringId::PortCannotBeHandled;
  CloseCommPort(link);
  return false;
}

namespace {
void OnLineSwitch(CommLink& link, ControlLine line, bool checked) {
  if (!OpenCommPort(link)) {
    CloseCommPort(link);
    return;
  }
  link.hComm->setLine(line, checked);
  if (!checked) CloseCommPort(link);
}
}  // namespace

void OnCheck5V(CommLink& link, bool checked) { OnLineSwitch(link, ControlLine::Dtr, checked); }
void OnCheckMD(CommLink& link, bool checked) { OnLineSwitch(link, ControlLine::Rts, checked); }

}  // namespace tarvel

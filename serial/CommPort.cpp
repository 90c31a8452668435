#include "serial/CommPort.h"

namespace tarvel {

std::optional<Failure> OpenCommPort(CommLink& link) {
  CloseCommPort(link);
  OpenResult opened = link.opener.open(link.m_strCommName, link.m_nBaudRate, link.timeouts);
  link.hComm = std::move(opened.port);
  switch (opened.status) {
    case OpenStatus::Ok:
      return std::nullopt;
    case OpenStatus::CannotOpen:
      return Failure{FailureKind::Port, StringId::PortCannotBeHandled, opened.detail, {}, {}};
    case OpenStatus::CannotConfigure:
      return Failure{FailureKind::Configuration, StringId::PortInitFailed, opened.detail, {}, {}};
  }
  return Failure{FailureKind::Port, StringId::PortCannotBeHandled, opened.detail, {}, {}};
}

void CloseCommPort(CommLink& link) { link.hComm.reset(); }

bool OpenCommPortQuietly(CommLink& link) {
  CloseCommPort(link);
  OpenResult opened = link.opener.open(link.m_strCommName, link.m_nBaudRate, link.timeouts);
  if (opened.status == OpenStatus::Ok) link.hComm = std::move(opened.port);
  return link.hComm != nullptr;
}

std::optional<Failure> OpenCommPortOrClose(CommLink& link) {
  std::optional<Failure> failure = OpenCommPort(link);
  if (failure) CloseCommPort(link);
  return failure;
}

namespace {
std::optional<Failure> OnLineSwitch(CommLink& link, ControlLine line, bool checked) {
  if (std::optional<Failure> failure = OpenCommPortOrClose(link)) return failure;
  link.hComm->setLine(line, checked);
  if (!checked) CloseCommPort(link);
  return std::nullopt;
}
}  // namespace

std::optional<Failure> OnCheck5V(CommLink& link, bool checked) { return OnLineSwitch(link, ControlLine::Dtr, checked); }
std::optional<Failure> OnCheckMD(CommLink& link, bool checked) { return OnLineSwitch(link, ControlLine::Rts, checked); }

}  // namespace tarvel

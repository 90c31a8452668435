#include "run/RadioDiagnosis.h"

#include <filesystem>
#include <system_error>

#include "base/FileIo.h"
#include "diagnosis/Doctor.h"
#include "loader/CableFacts.h"
#include "serial/PortList.h"

namespace tarvel {

RadioFacts DescribeRadio(const RadioLine& line) {
  RadioFacts facts;
  facts.port = line.port;
  std::error_code error;
  const std::filesystem::path device = std::filesystem::canonical(fileio::PathOf(line.port), error);
  facts.device = error ? line.port : fileio::TextOf(device);
  for (const PortInfo& port : ListSerialPorts()) {
    if (port.device == facts.device && !port.vendorId.empty()) {
      facts.usb = UsbFacts{port.vendorId, port.productId, port.serial};
    }
  }
  facts.cable = FactsOf(line.cable).name;
  facts.baud = line.baud;
  return facts;
}

std::vector<Finding> DiagnoseRadioFailure(const Failure& failure, const RadioLine& line, const LineWatch& watch) {
  switch (failure.message) {
    case StringId::PortCannotBeHandled:
    case StringId::PortInitFailed: return {OpenFailureFinding(line.port, failure.detail, ThisSystem())};
    case StringId::SyncError: return {SyncFailureFinding(watch, line.cable, line.baud, line.port)};
    default: return {};
  }
}

Json DiagnosisJson(const std::vector<Finding>& findings) {
  Json list = Json::array();
  for (const Finding& finding : findings) {
    list.push_back({{"id", FindingName(finding.id)},
                    {"text", finding.text},
                    {"hint", finding.hint.empty() ? Json(nullptr) : Json(finding.hint)}});
  }
  return list;
}

}  // namespace tarvel

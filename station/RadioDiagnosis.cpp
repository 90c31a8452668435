#include "station/RadioDiagnosis.h"

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

std::vector<Finding> DiagnoseRadioFailure(StringId failure, const RadioLine& line, const LineWatch& watch,
                                          const std::string& detail) {
  if (failure == StringId::PortCannotBeHandled || failure == StringId::PortInitFailed) {
    return {OpenFailureFinding(line.port, detail, ThisSystem())};
  }
  if (failure == StringId::SyncError) return {SyncFailureFinding(watch, line.cable, line.baud, line.port)};
  return {};
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

void AddRadioDiagnosis(RunResult& result, StringId failure, const RadioLine& line, const LineWatch& watch,
                       const std::string& detail) {
  const std::vector<Finding> findings = DiagnoseRadioFailure(failure, line, watch, detail);
  if (findings.empty()) return;
  result.fields["diagnosis"] = DiagnosisJson(findings);
  result.hint = findings.front().hint;
}

}  // namespace tarvel

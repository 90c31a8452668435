// Why a radio's port would not open or its loader would not answer, from
// what the port layer and the line showed: the same findings for the
// command line's hint and JSON, and a station bed's diagnosis line.
#pragma once

#include <string>
#include <vector>

#include "base/Cable.h"
#include "base/Failure.h"
#include "diagnosis/Finding.h"
#include "diagnosis/LineWatch.h"
#include "run/RunResult.h"

namespace tarvel {

struct RadioLine {
  std::string port;
  Cable cable = Cable::Qap8;
  unsigned baud = 0;
};

// The port as given, the device behind it and its USB facts.
RadioFacts DescribeRadio(const RadioLine& line);

// What went wrong behind 105/106 (the device missing, not open to this
// user, held by another program, or none of these) and behind 111 (a
// silent loader or bytes that are not the loader's); empty for other
// failures.
std::vector<Finding> DiagnoseRadioFailure(const Failure& failure, const RadioLine& line, const LineWatch& watch);
// The findings as the JSON object's "diagnosis" array: id, text, hint.
Json DiagnosisJson(const std::vector<Finding>& findings);

}  // namespace tarvel

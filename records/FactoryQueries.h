// The questions a factory asks its database: where a serial number passed
// before, and the history of its units with the filters the record files
// take.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "records/Database.h"
#include "run/RecordHistory.h"
#include "run/RunResult.h"

namespace tarvel {

struct EarlierPass {
  std::string where;  // the station and bed, or the host and port of a command line
  std::string when;   // "YYYY-MM-DD HH:MM", UTC
};

// The last write of `serial` that passed; nullopt when there is none, or
// when the database could not say (then `reason` is set).
std::optional<EarlierPass> FindEarlierPass(DatabaseConnection& db, const std::string& serial, std::string& reason);

// "SN-0412 passed at Line 2 Bed 3 on 2026-12-08 09:14"
std::string EarlierPassText(const std::string& serial, const EarlierPass& pass);

// The stored lines that pass `filter`, oldest first, as the record files
// hold them. False with the reason when the query fails.
bool QueryHistory(DatabaseConnection& db, const HistoryFilter& filter, std::vector<Json>& records,
                  std::string& reason);

}  // namespace tarvel

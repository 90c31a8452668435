#include "records/FactoryQueries.h"

#include "base/Strings.h"

namespace tarvel {

namespace {

DbValue Given(const std::string& value) { return value.empty() ? DbValue() : DbValue(value); }

}  // namespace

std::optional<EarlierPass> FindEarlierPass(DatabaseConnection& db, const std::string& serial, std::string& reason) {
  const DbReply reply = db.run(
      "SELECT concat_ws(' ', coalesce(station, host), coalesce(bed, port)),"
      " to_char(started_at AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI')"
      " FROM tarvel_units WHERE serial = $1 AND command = 'write' AND result = 'success'"
      " ORDER BY started_at DESC, seq DESC LIMIT 1",
      {serial});
  if (!reply.ok) {
    reason = reply.error;
    return std::nullopt;
  }
  if (reply.rows.empty()) return std::nullopt;
  return EarlierPass{reply.rows[0][0].value_or(""), reply.rows[0][1].value_or("")};
}

std::string EarlierPassText(const std::string& serial, const EarlierPass& pass) {
  return FormatString(StringId::SerialPassedBefore, {serial, pass.where, pass.when});
}

bool QueryHistory(DatabaseConnection& db, const HistoryFilter& filter, std::vector<Json>& records,
                  std::string& reason) {
  // The same rules as the files': the times compare as the ISO text they
  // are, a record passed when its result is "success".
  const DbReply reply = db.run(
      "SELECT line_text FROM tarvel_units"
      " WHERE ($1::text IS NULL OR serial = $1)"
      " AND ($2::text IS NULL OR station = $2)"
      " AND ($3::text IS NULL OR (result = 'success') = ($3 = 'passed'))"
      " AND ($4::text IS NULL OR line->>'started_at' >= $4)"
      " AND command <> ''"
      " ORDER BY line->>'started_at' COLLATE \"C\", seq",
      {Given(filter.serial), Given(filter.station), Given(filter.result), Given(filter.since)});
  if (!reply.ok) {
    reason = reply.error;
    return false;
  }
  for (const DbRow& row : reply.rows) {
    Json record = Json::parse(row[0].value_or(""), nullptr, false);
    if (record.is_object()) records.push_back(std::move(record));
  }
  return true;
}

}  // namespace tarvel

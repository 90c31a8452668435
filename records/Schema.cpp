#include "records/Schema.h"

#include <vector>

#include "base/Strings.h"

namespace tarvel {

namespace {

// Step N takes a schema of version N-1 to version N. A released step never
// changes: a newer Tarvel adds a step.
const std::vector<std::vector<const char*>>& Steps() {
  static const std::vector<std::vector<const char*>> steps = {
      // 1: one row per record line: its fields as columns, and the line.
      {"CREATE TABLE tarvel_schema (version integer PRIMARY KEY, made_at timestamptz NOT NULL DEFAULT now())",
       "CREATE TABLE tarvel_units ("
       " record_id uuid PRIMARY KEY,"
       " serial text, firmware_sha256 text, firmware_name text,"
       " station text, bed text, host text, operator text,"
       " port text, cable text, baud integer,"
       " command text NOT NULL, result text NOT NULL, exit_code integer,"
       " failure_kind text, failure_message text,"
       " blocks_total integer, blocks_done integer, retries integer,"
       " started_at timestamptz NOT NULL, ended_at timestamptz,"
       " tool text, tool_version text, manifest text, signed_by text,"
       " line jsonb NOT NULL, line_text text NOT NULL,"
       " stored_at timestamptz NOT NULL DEFAULT now(), seq bigserial NOT NULL)"},
      // 2: the questions a factory asks most: a serial's units, a period's.
      {"CREATE INDEX tarvel_units_serial ON tarvel_units (serial)",
       "CREATE INDEX tarvel_units_started_at ON tarvel_units (started_at)"},
  };
  return steps;
}

bool Rollback(DatabaseConnection& db, const DbReply& failed, std::string& reason) {
  reason = failed.error;
  if (!failed.connectionLost) db.run("ROLLBACK");
  return false;
}

}  // namespace

const char* const kInsertRecordSql =
    "INSERT INTO tarvel_units (record_id, serial, firmware_sha256, firmware_name, station, bed, host, operator,"
    " port, cable, baud, command, result, exit_code, failure_kind, failure_message, blocks_total, blocks_done,"
    " retries, started_at, ended_at, tool, tool_version, manifest, signed_by, line, line_text)"
    " SELECT $2::uuid, l->>'serial', l->>'file_sha256', regexp_replace(l->>'file', '^.*[/\\\\]', ''),"
    " l->>'station', l->>'bed', l->>'host', l->>'operator', l->>'port', l->>'cable', (l->>'baud')::integer,"
    " l->>'command', l->>'result', (l->>'exit_code')::integer, $3,"
    " CASE WHEN l->>'result' = 'success' THEN NULL ELSE concat_ws(' ', l->>'message', l->>'detail') END,"
    " (l->>'blocks_total')::integer, (l->>'blocks_done')::integer, (l->>'retries')::integer,"
    " (l->>'started_at')::timestamptz,"
    " (l->>'started_at')::timestamptz + coalesce((l->>'elapsed_ms')::bigint, 0) * interval '1 millisecond',"
    " l->'tool'->>'name', l->'tool'->>'version', l->>'manifest', l->>'signed_by', l, $1"
    " FROM (SELECT $1::jsonb AS l) AS given"
    " ON CONFLICT (record_id) DO NOTHING";

std::optional<int> SchemaVersion(DatabaseConnection& db, std::string& reason) {
  const DbReply exists = db.run("SELECT to_regclass('tarvel_schema') IS NOT NULL");
  if (!exists.ok || exists.rows.empty() || !exists.rows[0][0]) {
    reason = exists.error;
    return std::nullopt;
  }
  if (*exists.rows[0][0] != "t") return 0;
  const DbReply version = db.run("SELECT coalesce(max(version), 0) FROM tarvel_schema");
  if (!version.ok || version.rows.empty() || !version.rows[0][0]) {
    reason = version.error;
    return std::nullopt;
  }
  return std::stoi(*version.rows[0][0]);
}

bool UpgradeSchema(DatabaseConnection& db, int& from, std::string& reason, int target) {
  DbReply reply = db.run("BEGIN");
  if (!reply.ok) return Rollback(db, reply, reason);
  // Two programs upgrading at once: the second waits and then finds the
  // work done.
  reply = db.run("SELECT pg_advisory_xact_lock(7302514)");
  if (!reply.ok) return Rollback(db, reply, reason);
  const std::optional<int> found = SchemaVersion(db, reason);
  if (!found) return Rollback(db, DbReply{false, {}, {}, reason, false}, reason);
  from = *found;
  if (from > static_cast<int>(Steps().size())) {
    db.run("ROLLBACK");
    reason = FormatString(StringId::SchemaNewer, {std::to_string(from), std::to_string(kSchemaVersion)});
    return false;
  }
  for (int step = from + 1; step <= target; ++step) {
    for (const char* statement : Steps()[static_cast<std::size_t>(step - 1)]) {
      reply = db.run(statement);
      if (!reply.ok) return Rollback(db, reply, reason);
    }
    reply = db.run("INSERT INTO tarvel_schema (version) VALUES ($1::integer)", {std::to_string(step)});
    if (!reply.ok) return Rollback(db, reply, reason);
  }
  reply = db.run("COMMIT");
  if (!reply.ok) return Rollback(db, reply, reason);
  return true;
}

std::string SchemaVerdict(int version, bool& current) {
  current = version == kSchemaVersion;
  const std::string ours = std::to_string(kSchemaVersion);
  if (version == 0) return std::string(LoadString(StringId::SchemaMissing));
  if (current) return FormatString(StringId::SchemaCurrent, {ours});
  if (version < kSchemaVersion) return FormatString(StringId::SchemaOlder, {std::to_string(version), ours});
  return FormatString(StringId::SchemaNewer, {std::to_string(version), ours});
}

bool RefusedForGood(const DbReply& reply) {
  if (reply.ok || reply.connectionLost || reply.sqlState.size() != 5) return false;
  const std::string kind = reply.sqlState.substr(0, 2);
  // 22: data that a column's type refuses; 23: a constraint; 54: a line
  // beyond the server's limits. Anything else may pass on a later try.
  return kind == "22" || kind == "23" || kind == "54";
}

}  // namespace tarvel

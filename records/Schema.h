// The project's own tables in the factory's database, and their version.
// Each version is a step from the one before; `database init` takes a
// database from whatever version it has to this program's, in one
// transaction, so a failed upgrade leaves the old schema as it was.
#pragma once

#include <optional>
#include <string>

#include "records/Database.h"

namespace tarvel {

inline constexpr int kSchemaVersion = 2;

// The database's schema version: 0 when it has no Tarvel tables; nullopt
// with the reason when it cannot be read.
std::optional<int> SchemaVersion(DatabaseConnection& db, std::string& reason);

// Brings the schema to `target` (this program's version by default) in
// one transaction; `from` is the version found. False with the reason
// (nothing changed), also for a schema newer than this program's.
bool UpgradeSchema(DatabaseConnection& db, int& from, std::string& reason, int target = kSchemaVersion);

// What `database check` says of a version, and whether it is current.
std::string SchemaVerdict(int version, bool& current);

// The statement that stores one record line (parameters: the line, its
// record id, its failure kind); a line already there is left as it is.
extern const char* const kInsertRecordSql;

}  // namespace tarvel

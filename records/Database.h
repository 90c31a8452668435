// The factory's database as the rest of the program sees it: a connection
// that runs one statement at a time and answers with rows or a refusal.
// The PostgreSQL client (libpq) stays behind this interface, so the
// sender's and the queries' logic can be driven by a fake, and a build
// without libpq (Windows) still compiles them.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvel {

using DbValue = std::optional<std::string>;  // null: nullopt
using DbRow = std::vector<DbValue>;

struct DbReply {
  bool ok = false;
  std::vector<DbRow> rows;
  std::string sqlState;  // the server's five-character code; empty when it never answered
  std::string error;     // the client's or the server's text
  // The connection is gone (or no answer came in time): the statement's
  // fate is unknown and the connection is of no further use.
  bool connectionLost = false;
};

class DatabaseConnection {
 public:
  virtual ~DatabaseConnection() = default;
  // Runs `sql` with $1, $2... bound to `params` (text; nullopt is NULL).
  virtual DbReply run(const std::string& sql, const std::vector<DbValue>& params = {}) = 0;
};

// How long one connection attempt or one statement may take before it is
// given up; the send and the serial check never wait longer on the network.
inline constexpr std::chrono::milliseconds kDatabaseWait{2000};

// A refusal that no second try changes: the line itself is at fault (its
// data, or a constraint it breaks), not the connection or the server.
bool RefusedForGood(const DbReply& reply);

// What `text` (a libpq connection string, a postgresql:// URL or a service
// name) becomes for libpq; nullopt and the reason (a password in it, or a
// string libpq cannot read) when it is refused before any connection.
std::optional<std::string> ConnectionString(const std::string& text, std::string& reason);

// Opens a connection with libpq's own settings (sslmode, the password and
// service files, ...), giving up after kDatabaseWait; every statement on it
// ends after `statementWait` (the server's statement_timeout, and the
// client's own limit for a server that does not answer at all). Null, with
// the reason, when it cannot be opened.
std::unique_ptr<DatabaseConnection> ConnectDatabase(const std::string& connection, std::string& reason,
                                                    std::chrono::milliseconds statementWait = kDatabaseWait);

// Whether this build has a database client at all.
bool DatabaseClientBuilt();

}  // namespace tarvel

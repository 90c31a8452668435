// The database through libpq, PostgreSQL's own client library: its
// connection strings, service and password files and TLS settings hold as
// libpq documents them. Every wait on the server is bounded here, as a
// server that stopped (SIGSTOP, a cable pulled) answers nothing at all and
// libpq's own calls would wait for it for ever.
#include <poll.h>

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>

#include "base/Strings.h"
#include "records/Database.h"

namespace tarvel {

namespace {

using Clock = std::chrono::steady_clock;

// libpq's texts end in a line feed and may hold several lines.
std::string OneLine(const char* text) {
  std::string line = text == nullptr ? std::string() : std::string(text);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0) line.pop_back();
  for (std::size_t at = line.find('\n'); at != std::string::npos; at = line.find('\n', at)) line.replace(at, 1, "; ");
  return line;
}

std::string SecondsText(std::chrono::milliseconds wait) {
  const auto tenths = wait.count() / 100;
  return std::to_string(tenths / 10) + (tenths % 10 == 0 ? "" : "." + std::to_string(tenths % 10));
}

// Waits until the socket can be read (or written), or the deadline passes.
bool WaitForSocket(int socket, bool forWriting, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd fd{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    const int ready = ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, 1000)));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;  // libpq's next call says what is wrong
  }
}

struct PgFinish {
  void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct PgClear {
  void operator()(PGresult* result) const { PQclear(result); }
};

class PgConnection final : public DatabaseConnection {
 public:
  PgConnection(PGconn* connection, std::chrono::milliseconds statementWait)
      : connection_(connection), statementWait_(statementWait) {}

  DbReply run(const std::string& sql, const std::vector<DbValue>& params) override {
    DbReply reply;
    if (lost_) {
      reply.connectionLost = true;
      reply.error = "the connection was lost";
      return reply;
    }
    std::vector<const char*> values;
    for (const DbValue& value : params) values.push_back(value ? value->c_str() : nullptr);
    PGconn* connection = connection_.get();
    if (PQsendQueryParams(connection, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                          nullptr, 0) == 0) {
      return lose(reply, OneLine(PQerrorMessage(connection)));
    }
    // The server's statement_timeout ends a slow statement with an answer;
    // the client's own limit, a little later, covers a server that gives none.
    const auto deadline = Clock::now() + statementWait_ + std::chrono::milliseconds(500);
    while (PQflush(connection) == 1) {
      if (!WaitForSocket(PQsocket(connection), true, deadline)) return lose(reply, noAnswer());
    }
    bool answered = false;
    for (;;) {
      while (PQisBusy(connection) != 0) {
        if (!WaitForSocket(PQsocket(connection), false, deadline)) return lose(reply, noAnswer());
        if (PQconsumeInput(connection) == 0) return lose(reply, OneLine(PQerrorMessage(connection)));
      }
      const std::unique_ptr<PGresult, PgClear> result(PQgetResult(connection));
      if (!result) break;
      answered = true;
      const ExecStatusType status = PQresultStatus(result.get());
      if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        if (reply.error.empty()) reply.ok = true;
        for (int row = 0; row < PQntuples(result.get()); ++row) {
          DbRow cells;
          for (int column = 0; column < PQnfields(result.get()); ++column) {
            cells.push_back(PQgetisnull(result.get(), row, column) != 0
                                ? DbValue()
                                : DbValue(PQgetvalue(result.get(), row, column)));
          }
          reply.rows.push_back(std::move(cells));
        }
      } else {
        reply.ok = false;
        const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
        reply.sqlState = state == nullptr ? "" : state;
        // The server's own words, without libpq's "ERROR:  " in front.
        const char* primary = PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY);
        reply.error = OneLine(primary != nullptr ? primary : PQresultErrorMessage(result.get()));
      }
    }
    if (PQstatus(connection) == CONNECTION_BAD) {
      return lose(reply, reply.error.empty() ? OneLine(PQerrorMessage(connection)) : reply.error);
    }
    if (!answered) return lose(reply, OneLine(PQerrorMessage(connection)));
    return reply;
  }

 private:
  std::string noAnswer() const {
    return "the database did not answer within " + SecondsText(statementWait_) + " s";
  }
  DbReply& lose(DbReply& reply, const std::string& why) {
    // An unanswered statement leaves the connection in an unknown state:
    // it is closed, never reused.
    lost_ = true;
    reply.ok = false;
    reply.connectionLost = true;
    reply.error = why.empty() ? std::string("the connection was lost") : why;
    connection_.reset();
    return reply;
  }

  std::unique_ptr<PGconn, PgFinish> connection_;
  std::chrono::milliseconds statementWait_;
  bool lost_ = false;
};

bool IsUrl(const std::string& text) {
  return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

bool MentionsPassword(const std::string& text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find("password") != std::string::npos;
}

}  // namespace

bool DatabaseClientBuilt() { return true; }

std::optional<std::string> ConnectionString(const std::string& text, std::string& reason) {
  if (text.find_first_not_of(" \t") == std::string::npos) {
    reason = FormatString(StringId::DatabaseUnusable, {"it is empty"});
    return std::nullopt;
  }
  // A bare word names a service of libpq's service file.
  const std::string connection =
      IsUrl(text) || text.find('=') != std::string::npos ? text : "service=" + text;
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(connection.c_str(), &error);
  if (options == nullptr) {
    // libpq's complaint may quote the string, and with it a password.
    const bool password = MentionsPassword(connection);
    reason = password ? std::string(LoadString(StringId::DatabasePassword))
                      : FormatString(StringId::DatabaseUnusable,
                                     {error != nullptr ? OneLine(error) : std::string("libpq cannot read it")});
    if (error != nullptr) PQfreemem(error);
    return std::nullopt;
  }
  bool password = false;
  // A URL's user:password@ part comes out as the password option too.
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    if (std::string(option->keyword) == "password" && option->val != nullptr && *option->val != '\0') password = true;
  }
  PQconninfoFree(options);
  if (password) {
    reason = std::string(LoadString(StringId::DatabasePassword));
    return std::nullopt;
  }
  return connection;
}

std::unique_ptr<DatabaseConnection> ConnectDatabase(const std::string& connection, std::string& reason,
                                                    std::chrono::milliseconds statementWait) {
  const std::string timeout = std::to_string(std::max<long long>(1, kDatabaseWait.count() / 1000));
  // The string's own settings win, except the time-out, which bounds how
  // long a round's record can wait.
  const char* keywords[] = {"fallback_application_name", "dbname", "connect_timeout", nullptr};
  const char* values[] = {"tarvel", connection.c_str(), timeout.c_str(), nullptr};
  std::unique_ptr<PGconn, PgFinish> pg(PQconnectStartParams(keywords, values, 1));
  if (!pg) {
    reason = "out of memory";
    return nullptr;
  }
  const auto deadline = Clock::now() + kDatabaseWait;
  PostgresPollingStatusType state = PGRES_POLLING_WRITING;
  while (PQstatus(pg.get()) != CONNECTION_BAD && state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
    if (!WaitForSocket(PQsocket(pg.get()), state == PGRES_POLLING_WRITING, deadline)) {
      reason = "the database did not answer within " + SecondsText(kDatabaseWait) + " s";
      return nullptr;
    }
    state = PQconnectPoll(pg.get());
  }
  if (PQstatus(pg.get()) != CONNECTION_OK) {
    reason = OneLine(PQerrorMessage(pg.get()));
    if (reason.empty()) reason = "the connection failed";
    return nullptr;
  }
  auto opened = std::make_unique<PgConnection>(pg.release(), statementWait);
  const DbReply set =
      opened->run("SELECT set_config('statement_timeout', $1, false)", {std::to_string(statementWait.count())});
  if (!set.ok) {
    reason = set.error;
    return nullptr;
  }
  return opened;
}
}  // namespace tarvel

// The database tests' server: the throw-away PostgreSQL that scripts/test
// (through ctest's fixture) or scripts/with-postgres starts, named by
// TARVEL_TEST_DATABASE. A test without it fails: a database test never
// passes quietly. Each test gets a database of its own, dropped at its end.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "records/Database.h"
#include "records/Schema.h"
#include "run/RecordFile.h"

namespace tarvel::test {

inline std::string ServerConnection() {
  const char* given = std::getenv("TARVEL_TEST_DATABASE");
  return given == nullptr ? std::string() : std::string(given);
}

// The server's folder: the socket folder's parent.
inline std::string ServerFolder() {
  const std::string connection = ServerConnection();
  const std::size_t host = connection.find("host=");
  if (host == std::string::npos) return {};
  std::string folder = connection.substr(host + 5, connection.find(' ', host) - host - 5);
  return folder.substr(0, folder.rfind('/'));
}

// halt, start-again, pause, resume: see scripts/pg-server.
inline void ControlServer(const std::string& command) {
  const std::string line = std::string(TARVEL_SOURCE_DIR) + "/scripts/pg-server " + command + " " + ServerFolder();
  ASSERT_EQ(std::system(line.c_str()), 0) << line;
}

// Whatever a test did to the server, the next one finds it running.
struct ServerRestorer {
  ~ServerRestorer() {
    const std::string script = std::string(TARVEL_SOURCE_DIR) + "/scripts/pg-server ";
    std::system((script + "resume " + ServerFolder()).c_str());
    const std::string ping = "pg_isready -q -h " + ServerFolder() + "/sock";
    if (std::system(ping.c_str()) != 0) std::system((script + "start-again " + ServerFolder()).c_str());
  }
};

class TestDatabase {
 public:
  // A fresh database; with `init`, the schema made.
  explicit TestDatabase(bool init = true) {
    const std::string server = ServerConnection();
    if (server.empty()) {
      ADD_FAILURE() << "No test server: TARVEL_TEST_DATABASE is not set. Run the tests through ctest (its "
                       "postgres fixture) or scripts/with-postgres.";
      return;
    }
    std::string reason;
    admin_ = ConnectDatabase(server, reason, std::chrono::seconds(30));
    if (!admin_) {
      ADD_FAILURE() << "The test server does not answer: " << reason;
      return;
    }
    name_ = "tarvel_" + NewRecordId().substr(0, 8);
    const DbReply made = admin_->run("CREATE DATABASE " + name_);
    EXPECT_TRUE(made.ok) << made.error;
    connection = server + " dbname=" + name_;
    if (init) {
      const auto db = open();
      int from = -1;
      if (db) {
        EXPECT_TRUE(UpgradeSchema(*db, from, reason)) << reason;
      }
    }
  }
  ~TestDatabase() {
    if (!name_.empty()) {
      std::string reason;
      // A fresh connection: the server may have been stopped meanwhile.
      const auto admin = ConnectDatabase(ServerConnection(), reason, std::chrono::seconds(30));
      if (admin) admin->run("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    }
  }
  std::unique_ptr<DatabaseConnection> open(std::chrono::milliseconds wait = std::chrono::seconds(30)) const {
    std::string reason;
    auto db = ConnectDatabase(connection, reason, wait);
    EXPECT_TRUE(db) << reason;
    return db;
  }
  // One number from the database, e.g. a count.
  long long number(const std::string& sql) const {
    const auto db = open();
    if (!db) return -1;
    const DbReply reply = db->run(sql);
    EXPECT_TRUE(reply.ok) << reply.error;
    return reply.ok && !reply.rows.empty() && reply.rows[0][0] ? std::stoll(*reply.rows[0][0]) : -1;
  }

  std::string connection;
  const std::string& name() const { return name_; }

 private:
  std::unique_ptr<DatabaseConnection> admin_;
  std::string name_;
};

}  // namespace tarvel::test

// A build without libpq (Windows): the record file is written as ever, and
// a Linux tarvel-cli forwards it.
#include "base/Strings.h"
#include "records/Database.h"

namespace tarvel {

bool DatabaseClientBuilt() { return false; }

std::optional<std::string> ConnectionString(const std::string&, std::string& reason) {
  reason = std::string(LoadString(StringId::DatabaseNoClient));
  return std::nullopt;
}

std::unique_ptr<DatabaseConnection> ConnectDatabase(const std::string&, std::string& reason,
                                                    std::chrono::milliseconds) {
  reason = std::string(LoadString(StringId::DatabaseNoClient));
  return nullptr;
}

}  // namespace tarvel

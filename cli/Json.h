// A flat JSON object for production-line scripts.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tarvel::cli {

class JsonObject {
 public:
  JsonObject& add(const std::string& key, const std::string& text);
  JsonObject& add(const std::string& key, long long number);
  JsonObject& add(const std::string& key, bool value);
  std::string str() const;

 private:
  std::vector<std::pair<std::string, std::string>> fields_;  // key, encoded value
};

std::string JsonString(const std::string& text);

}  // namespace tarvel::cli

// --format json: what devices, probe, query and decode print for scripts.
// One JSON document on stdout, ending in a newline; errors stay on stderr.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace cli {

bool JsonOutput(); // --format json was given
void SetJsonOutput(bool json);

// `text` as a JSON string literal. Control characters are escaped; bytes that
// are not UTF-8 become U+FFFD, so the document always parses.
std::string JsonString(const std::string& text);

// Members in the order added; each value is JSON text already (JsonString, a number, true, ...).
class JsonObject {
  public:
    JsonObject& Raw(const std::string& name, const std::string& json);
    JsonObject& Text(const std::string& name, const std::string& text) { return Raw(name, JsonString(text)); }
    JsonObject& Number(const std::string& name, long long value) { return Raw(name, std::to_string(value)); }
    JsonObject& Bool(const std::string& name, bool value) { return Raw(name, value ? "true" : "false"); }
    std::string Json() const;

  private:
    std::vector<std::pair<std::string, std::string>> members_;
};

std::string JsonArray(const std::vector<std::string>& jsonItems);

} // namespace cli

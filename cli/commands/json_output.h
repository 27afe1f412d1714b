// --json: one JSON document on a line, and file names that stay findable whatever bytes they hold.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

namespace su::cli {

using Json = nlohmann::ordered_json;

// One JSON document on a line; bytes that are not UTF-8 (a port's name, a name the keyboard holds) are
// replaced, so the document is valid whatever the names hold.
void PrintJson(std::ostream& out, const Json& json);

// A file name in a JSON document: as given (a byte that is not UTF-8 shows as U+FFFD), and where it is not
// UTF-8 also its bytes in hex under `key` + "Hex", so that a script can find the file again
// (`xxd -r -p`).
void PutName(Json& json, const std::string& key, const std::string& name);

}  // namespace su::cli

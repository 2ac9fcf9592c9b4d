// Checks JSON documents against the tool's report schema
// (doc/mozaik32-report.schema.json) with Debian's python3-jsonschema, an
// independent validator.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace testkit {

// What the validator found wrong in `documents`, one line per error ("" when
// every document is valid); nothing when /usr/bin/python3 or its jsonschema
// module is missing. Writes the documents into the current folder.
std::optional<std::string> schema_errors(const std::vector<std::string>& documents);

// The value of the first `"key": ` in `document` at or after `from`: a
// string without its quotes, or a number, true, false or null as written.
// Empty when there is none.
std::string json_field(const std::string& document, const std::string& key, std::size_t from = 0);

}  // namespace testkit

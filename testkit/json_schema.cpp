// The schema check of the tool's JSON documents.
#include "testkit/json_schema.hpp"

#include "common/file.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace testkit {

namespace {

constexpr const char* kValidator = R"(
import json, sys
try:
    import jsonschema
except ImportError:
    sys.exit(3)
schema = json.load(open(sys.argv[1]))
jsonschema.Draft7Validator.check_schema(schema)
validator = jsonschema.Draft7Validator(schema)
for path in sys.argv[2:]:
    try:
        document = json.load(open(path, encoding="utf-8"))
    except ValueError as e:
        print(path, "is no JSON:", e)
        continue
    for e in validator.iter_errors(document):
        print(path, list(e.absolute_path), e.message[:300])
)";

}  // namespace

std::optional<std::string> schema_errors(const std::vector<std::string>& documents) {
    if (!file_exists("/usr/bin/python3")) return std::nullopt;
    std::vector<std::string> args = {"-c", kValidator, MOZAIK_SOURCE_DIR "/doc/mozaik32-report.schema.json"};
    for (std::size_t i = 0; i < documents.size(); ++i) {
        const std::string name = "document" + std::to_string(i) + ".json";
        spit(name, documents[i]);
        args.push_back(name);
    }
    const RunResult r = run_program("/usr/bin/python3", args);
    if (r.status == 3) return std::nullopt;
    if (r.status != 0) return "the validator failed: " + r.out + r.err;
    return r.out;
}

std::string json_field(const std::string& document, const std::string& key, std::size_t from) {
    const std::string lead = "\"" + key + "\": ";
    const std::size_t at = document.find(lead, from);
    if (at == std::string::npos) return {};
    std::size_t begin = at + lead.size();
    if (document[begin] == '"') {
        const std::size_t end = document.find('"', begin + 1);
        return document.substr(begin + 1, end - begin - 1);
    }
    const std::size_t end = document.find_first_of(",\n}]", begin);
    return document.substr(begin, end - begin);
}

}  // namespace testkit

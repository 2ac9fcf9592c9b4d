// /json: the image as one JSON document on standard output, for pipelines
// that check images by machine. It holds the tool, the image (path, size,
// SHA-256), its layout, every member with its header sum and data CRC, the
// space figures of the listing, the boot-block rooms and slots, the CPU
// microcode entries of the listing's report, and the problems /verify
// finds. Offsets and sizes are numbers. The run then ends with status 1
// when there is a problem, as after /verify. The document's form is
// doc/mozaik32-report.schema.json.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/json.hpp"
#include "image/group.hpp"

struct BiosImage;
struct MemberHead;

GroupResult report_image(const Operand& op);

// Opens a document of kind `document` ("image_report", "dry_run") with
// what both begin with: the tool, and the image's path, size and digest
// (and, with `after`, the digest of the image as the run leaves it).
void begin_document(JsonWriter& json, const char* document, const std::string& path, const BiosImage& image,
                    const std::vector<std::uint8_t>* after = nullptr);

// A member's TypeId, switch, names and sizes, the fields a report and a
// dry run's changes share. `listing`: the name the listing gives it where
// that is not the TypeId's ("System BIOS"); empty: the TypeId's.
void write_member_identity(JsonWriter& json, const MemberHead& head, std::string_view listing = {});

// One line of a report of this tool's own, laid out for an 80-column
// console: `head` and `tail` on one line when they fit in 79 columns, else
// `tail` on a line of its own below, indented by `indent`; never broken
// inside a word or a number (a tail too long even so runs on).
void print_fitted(const std::string& head, const std::string& tail, std::size_t indent);

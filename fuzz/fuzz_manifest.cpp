// The manifest reader on arbitrary text: a fault always names its line (or
// the missing image line); every chain line it reads has its TypeId and
// method, given or derived; and what it reads, written out again, reads
// back the same.
#include <string>
#include <variant>

#include "folder/manifest.hpp"

namespace {

bool same(const Manifest& a, const Manifest& b) {
    if (a.image_file != b.image_file || a.image_size != b.image_size || a.image_sha256 != b.image_sha256 ||
        a.lines.size() != b.lines.size())
        return false;
    for (std::size_t i = 0; i < a.lines.size(); ++i) {
        const ManifestLine &x = a.lines[i], &y = b.lines[i];
        if (x.place != y.place || x.file != y.file || x.switch_text != y.switch_text || x.type_id != y.type_id ||
            x.method != y.method || x.sha256 != y.sha256 || x.name != y.name)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::variant<Manifest, std::string> first = parse_manifest(text);
    if (const std::string* fault = std::get_if<std::string>(&first)) {
        // Every fault names its line, or says the image line is missing.
        if (fault->rfind("manifest line ", 0) != 0 && *fault != "the manifest has no \"image\" line") __builtin_trap();
        return 0;
    }
    const Manifest& read = std::get<Manifest>(first);
    for (const ManifestLine& l : read.lines)
        if (l.place == Place::Chain && (l.type_id == "-" || l.method == "-")) __builtin_trap();
    const std::variant<Manifest, std::string> again = parse_manifest(manifest_text(read, "fuzz"));
    const Manifest* back = std::get_if<Manifest>(&again);
    if (!back || !same(read, *back)) __builtin_trap();
    return 0;
}

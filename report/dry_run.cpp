// The dry run's report: the changes image/changes finds, and the files
// the run would have written.
#include "report/dry_run.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "common/catalogue.hpp"
#include "common/console.hpp"
#include "common/json.hpp"
#include "image/bios_image.hpp"
#include "image/chain.hpp"
#include "image/changes.hpp"
#include "image/content_checks.hpp"
#include "report/report.hpp"

namespace {

struct WrittenFile {
    std::string name;
    std::uint64_t size = 0;
};

std::vector<WrittenFile> written_files(const std::string& folder) {
    std::vector<WrittenFile> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        files.push_back({entry.path().filename().string(), entry.file_size(ec)});
    std::ranges::sort(files, {}, &WrittenFile::name);
    return files;
}

void write_placed(JsonWriter& json, const char* key, const ComparedPart* p) {
    json.key(key);
    if (!p) {
        json.null();
        return;
    }
    json.begin_object();
    json.key("offset").value(p->component.position);
    json.key("extent").value(p->component.extent);
    write_member_identity(json, *p->component.head);
    json.end_object();
}

// What /verify would say of the content an add or a replacement brings.
std::vector<ContentProblem> content_problems(const ComponentChange& c, const BiosImage& after) {
    if (!c.after || c.what == std::string_view("moved")) return {};
    return check_member_content(component_bytes(after, c.after->component), c.after->component.position);
}

void print_text(const BiosImage& after, const std::vector<ComponentChange>& members,
                const std::vector<ByteChange>& bytes, const std::vector<WrittenFile>& files, int status, bool written,
                const std::string* out_file) {
    console::out("\nDry run: nothing was written; the image and the folder are as they were.\n");
    if (out_file)
        console::outf("The run would end with status %d and write %s%s.\n", status, out_file->c_str(),
                      written ? " with the changes below" : " as the image is");
    else
        console::outf("The run would end with status %d and %s.\n", status,
                      written ? "write the changes below into the image" : "leave the image as it is");
    for (const ComponentChange& c : members) {
        const MemberHead& head = *(c.after ? c.after : c.before)->component.head;
        const std::string name(listing_name(type_segment(head), type_offset(head)));
        char line[96];
        int n = std::snprintf(line, sizeof line, "  %-9s %s", c.what, name.c_str());
        if (c.before) n += std::snprintf(line + n, sizeof line - n, " from %05Xh", c.before->component.position);
        if (c.after) n += std::snprintf(line + n, sizeof line - n, " at %05Xh", c.after->component.position);
        std::snprintf(line + n, sizeof line - n, ", %05Xh bytes:", original_size(head));
        print_fitted(line, console::shown(listed_name(head)), 12);
        for (const ContentProblem& p : content_problems(c, after))
            console::out(console::fitted("  problem   " + p.text) + "\n");
    }
    for (const ByteChange& b : bytes)
        console::outf("  changed   %05Xh-%05Xh: %s\n", b.offset, b.offset + b.length - 1, b.what.c_str());
    for (const WrittenFile& f : files)
        console::outf("  file      %s, %llu bytes\n", f.name.c_str(), static_cast<unsigned long long>(f.size));
}

// The chain's members: the dry run names the other components' changes
// as the bytes they take.
std::vector<ComparedPart> chain_parts(const BiosImage& image) {
    std::vector<Component> chain;
    for (const ChainMember& m : walk_image_chain(image).members)
        chain.push_back(member_component(Place::Chain, m.position, m.header));
    return compared_parts(image, chain);
}

}  // namespace

void report_dry_run(const DryRunReport& r) {
    const BiosImage& before = r.before;
    const BiosImage& after = r.after;
    const bool written = before.bytes != after.bytes;
    const std::vector<ComparedPart> old_members = chain_parts(before), new_members = chain_parts(after);
    const std::vector<ComponentChange> members = component_changes(old_members, new_members);
    const std::vector<ByteChange> bytes = byte_changes(before, after);
    const std::vector<WrittenFile> files = written_files(r.folder);
    if (!r.json) {
        print_text(after, members, bytes, files, r.status, written, r.out_file);
        return;
    }
    JsonWriter json;
    begin_document(json, "dry_run", r.input_file, before, &after.bytes);
    json.key("exit_status").value(r.status);
    json.key("image_written").value(written);
    json.key("failures").begin_array();
    for (const std::string& f : r.failures) json.value(f);
    json.end_array();
    json.key("out_file");
    if (r.out_file)
        json.path(*r.out_file);
    else
        json.null();
    json.key("members").begin_array();
    for (const ComponentChange& c : members) {
        json.begin_object().key("change").value(c.what);
        write_placed(json, "before", c.before);
        write_placed(json, "after", c.after);
        json.key("problems").begin_array();
        for (const ContentProblem& p : content_problems(c, after))
            json.begin_object().key("code").value(p.code).key("text").value(p.text).end_object();
        json.end_array();
        json.end_object();
    }
    json.end_array();
    json.key("bytes_outside_chain").begin_array();
    for (const ByteChange& b : bytes)
        json.begin_object()
            .key("offset")
            .value(b.offset)
            .key("length")
            .value(b.length)
            .key("what")
            .value(b.what)
            .end_object();
    json.end_array();
    json.key("files").begin_array();
    for (const WrittenFile& f : files)
        json.begin_object().key("name").path(f.name).key("size").value(static_cast<std::int64_t>(f.size)).end_object();
    json.end_array();
    json.end_object();
    console::document(json.text());
}

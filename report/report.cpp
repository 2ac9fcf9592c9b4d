// The JSON report of an image.
#include "report/report.hpp"

#include <cstdio>

#include "common/catalogue.hpp"
#include "common/console.hpp"
#include "common/sha256.hpp"
#include "common/version.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "image/survey.hpp"

namespace {

std::optional<std::uint32_t> unless_zero(std::uint32_t value) {
    return value != 0 ? std::optional(value) : std::nullopt;
}

void write_layout(JsonWriter& json, const BiosImage& image) {
    json.key("layout").begin_object();
    json.key("top_base").value(image.top_base);
    json.key("area_end").value(image.area_end);
    json.key("first_member").value(image.first_member);
    json.key("chain_start").value(image.chain_start);
    json.key("checksum_block").value(unless_zero(image.checksum_block));
    json.key("imd_block").value(image.imd_reset ? std::optional(image.imd_block) : std::nullopt);
    json.key("imd_reset").value(image.imd_reset);
    json.key("banked").value(image.banked);
    json.key("free_pointer").value(image.bs1_present ? std::optional(image.free_pointer) : std::nullopt);
    json.key("top_block");
    if (image.ncpu_block) {
        json.begin_object();
        json.key("start").value(top_block_start(image));
        json.key("length").value(image.ncpu_size);
        json.end_object();
    } else {
        json.null();
    }
    json.end_object();
}

void write_member(JsonWriter& json, const MemberCheck& m) {
    json.begin_object();
    json.key("place").value(place_row(m.place).report);
    json.key("offset").value(m.position);
    json.key("extent").value(static_cast<std::int64_t>(member_span(m.head)));
    json.key("method").value(method_text(m.head));
    write_member_identity(json, m.head, m.name);
    json.key("sha256");
    if (m.content_sha256)
        json.value(*m.content_sha256);
    else
        json.null();
    json.key("pci");
    if (m.pci) {
        json.begin_object().key("vendor").value(int{m.pci->vendor}).key("device").value(int{m.pci->device});
        json.key("sub_class").value(int{m.pci->sub_class}).key("base_class").value(int{m.pci->base_class});
        json.end_object();
    } else {
        json.null();
    }
    json.key("header_sum").begin_object();
    json.key("recorded").value(int{recorded_sum(m.head)});
    json.key("computed");
    if (m.computed_sum)
        json.value(int{*m.computed_sum});
    else
        json.null();
    json.key("holds").value(m.computed_sum && *m.computed_sum == recorded_sum(m.head));
    json.end_object();
    json.key("crc").begin_object();
    json.key("recorded");
    if (m.recorded_crc)
        json.value(int{*m.recorded_crc});
    else
        json.null();
    json.key("computed");
    if (m.computed_crc)
        json.value(int{*m.computed_crc});
    else
        json.null();
    json.key("matches");
    if (m.recorded_crc && m.computed_crc)
        json.value(*m.recorded_crc == *m.computed_crc);
    else
        json.null();
    json.end_object();
    json.key("verdict").begin_object().key("code").value(m.code).key("text").value(m.verdict).end_object();
    json.end_object();
}

void write_boot_block(JsonWriter& json, const ImageSurvey& survey) {
    json.key("boot_block").begin_object();
    json.key("vga_room");
    if (survey.vga_room)
        json.begin_object()
            .key("begin")
            .value(survey.vga_room->begin)
            .key("end")
            .value(survey.vga_room->end)
            .end_object();
    else
        json.null();
    json.key("vga_slot");
    if (survey.vga_slot)
        json.begin_object()
            .key("begin")
            .value(survey.vga_slot->begin)
            .key("end")
            .value(survey.vga_slot->limit)
            .end_object();
    else
        json.null();
    json.key("on_board_vga").value(survey.on_board_vga);
    json.key("memory_module");
    if (const std::optional<MemoryModule>& module = survey.memory_module) {
        json.begin_object();
        json.key("start").value(int{module->start}).key("end").value(int{module->end});
        json.key("block").value(module->block);
        json.key("texts").begin_array();
        for (const std::string& text : module->texts) json.value(text);
        json.end_array().end_object();
    } else {
        json.null();
    }
    json.end_object();
}

const char* source_name(MicrocodeSource source) {
    switch (source) {
    case MicrocodeSource::BootBlockTable: return "boot_block_table";
    case MicrocodeSource::Component: return "component";
    case MicrocodeSource::TopBlock: return "top_block";
    }
    return "component";
}

void write_microcode(JsonWriter& json, const ImageSurvey& survey) {
    json.key("microcode").begin_array();
    for (const MicrocodeEntry& e : survey.microcode.entries) {
        json.begin_object();
        json.key("source").value(source_name(e.source));
        json.key("offset").value(e.offset);
        json.key("layout").value(e.bridge ? "bridge" : "intel");
        if (e.bridge) {
            json.key("north_bridge").value(e.north).key("south_bridge").value(e.south);
            json.key("update_id").value(e.update_id).key("cpuid").value(e.cpuid);
        } else {
            json.key("package").value(without_padding(e.package));
            json.key("revision").value(int{e.revision}).key("signature").value(int{e.signature});
        }
        json.end_object();
    }
    json.end_array();
}

void write_space(JsonWriter& json, const ImageSurvey& survey) {
    json.key("space");
    if (survey.not_bios) {
        json.null();
        return;
    }
    json.begin_object().key("total").value(survey.space.total).key("used").value(survey.space.used);
    // Never negative: a chain that runs past its area has no free space
    // (/verify names the member that runs past).
    const std::uint32_t free = survey.space.used < survey.space.total ? survey.space.total - survey.space.used : 0;
    json.key("free").value(free).end_object();
}

void write_problems(JsonWriter& json, const ImageCheck& check) {
    json.key("problems").begin_array();
    for (const Finding& f : check.findings) {
        if (!f.problem) continue;
        json.begin_object().key("offset").value(f.offset).key("code").value(f.code).key("text").value(f.line);
        json.end_object();
    }
    json.end_array();
}

}  // namespace

void begin_document(JsonWriter& json, const char* document, const std::string& path, const BiosImage& image,
                    const std::vector<std::uint8_t>* after) {
    json.begin_object();
    json.key("document").value(document);
    json.key("tool").begin_object().key("name").value("mozaik32").key("version").value(kVersion).end_object();
    json.key("image").begin_object();
    json.key("path").path(path);
    json.key("size").value(image.file_size);
    const std::string digest = sha256_hex(image.bytes);
    json.key("sha256").value(digest);
    if (after) json.key("sha256_after").value(*after == image.bytes ? digest : sha256_hex(*after));
    json.end_object();
}

void write_member_identity(JsonWriter& json, const MemberHead& head, std::string_view listing) {
    const std::uint16_t segment = type_segment(head), offset = type_offset(head);
    char type_id[16];
    std::snprintf(type_id, sizeof type_id, "%04X:%04X", segment, offset);
    json.key("type_id").value(type_id);
    const std::string switch_text = switch_of_type(segment, offset);
    json.key("switch");
    if (switch_text.empty())
        json.null();
    else
        json.value(switch_text);
    // The slot of a ROM family's member, as slot=X names it.
    const std::optional<SlotFamily> family = slot_family(lookup_option(switch_text));
    json.key("slot");
    if (family && segment >= family->base && segment < family->base + family->count)
        json.value(std::string(1, slot_char(*family, segment - family->base)));
    else
        json.null();
    json.key("listing_name")
        .value(listing.empty() ? without_padding(listing_name(segment, offset)) : std::string(listing));
    json.key("stored_name").value(listed_name(head));
    json.key("original_size").value(original_size(head));
    json.key("packed_size").value(packed_size(head));
}

GroupResult report_image(const Operand& op) {
    const BiosImage& image = op.image.image();
    const ImageSurvey survey = survey_image(image, SurveyDepth::Digested);
    // A microcode member that could not be expanded is said, as by the listing.
    for (const auto& [index, message] : survey.capture_messages) console::con(message);
    const ImageCheck& check = *survey.check;
    JsonWriter json;
    begin_document(json, "image_report", image.path, image);
    write_layout(json, image);
    json.key("members").begin_array();
    for (const MemberCheck& m : check.members) write_member(json, m);
    json.end_array();
    write_space(json, survey);
    write_boot_block(json, survey);
    write_microcode(json, survey);
    write_problems(json, check);
    json.end_object();
    console::document(json.text());
    GroupResult r;
    r.problems = check.problems;
    return r;
}

void print_fitted(const std::string& head, const std::string& tail, std::size_t indent) {
    constexpr std::size_t kColumns = 79;  // the 80th would end the line on a console
    if (head.size() + 1 + tail.size() <= kColumns)
        console::outf("%s %s\n", head.c_str(), tail.c_str());
    else
        console::outf("%s\n%*s%s\n", head.c_str(), static_cast<int>(indent), "", tail.c_str());
}

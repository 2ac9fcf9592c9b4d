// The component listing: frame, rows of the system BIOS and the chain, the
// space report, and the rows and reports of the blocks outside the chain.
#include "report/listing.hpp"

#include <cstdio>
#include <string>
#include <string_view>

#include "common/catalogue.hpp"
#include "common/console.hpp"
#include "image/image_writer.hpp"
#include "report/listing_microcode.hpp"
#include "report/listing_row.hpp"

namespace {

void print_title(const std::string& input_file) {
    console::outf("\n              ******** %12s BIOS component ********\n\n", input_file.c_str());
    console::out(" No. Item-Name         Original-Size   Compressed-Size Original-File-Name \n");
    // 80 characters: the console's own line break follows.
    console::out(std::string(console::kWidth, '='));
}

std::string row_lead(int row_number, std::string_view item_name) {
    char number[16];
    std::snprintf(number, sizeof number, " %2d. ", row_number);
    return std::string(number) + std::string(item_name);
}

// Row 0.
void list_system_bios(const SystemBiosRecord& bios) {
    const std::string lead = row_lead(0, "System BIOS     ");
    if (!bios.head) {
        console::out(lead);
        console::move_to_column(kSpaceColumn);
        console::out(size_text(bios.space));
        console::out("\n");
        return;
    }
    print_listing_row(lead, original_size(*bios.head), size_text(bios.space), console::shown(listed_name(*bios.head)));
}

// The chain rows; a microcode member that could not be expanded is said
// after its row, on the console channel.
void list_chain(const ImageSurvey& survey) {
    auto message = survey.capture_messages.begin();
    for (std::size_t i = 0; i < survey.chain.members.size(); ++i) {
        const MemberHead& header = survey.chain.members[i].header;
        // The walk took only members inside the file, so the span fits 32 bits.
        const auto space = static_cast<std::uint32_t>(member_span(header));
        print_listing_row(row_lead(static_cast<int>(i) + 1, listing_name(type_segment(header), type_offset(header))),
                          original_size(header), size_text(space), console::shown(listed_name(header)));
        for (; message != survey.capture_messages.end() && message->first == i; ++message)
            console::con(message->second);
    }
}

}  // namespace

void list_boot_vga(const std::optional<BootVgaMember>& member) {
    if (!member) return;
    const std::uint32_t packed = packed_size(member->head);
    const auto span = static_cast<std::uint32_t>(member_span(member->head));  // with its end byte, 32-bit
    print_listing_row("(BB) Compress BT-VGA ", original_size(member->head), size_text(packed, span / 1024.0),
                      console::shown(listed_name(member->head)));
}

void print_on_board_vga(bool on_board) {
    if (on_board) console::out("\n ****** On Board VGA ROM In BootBlock ******\n");
}

namespace {

void print_space_report(const CompressedSpace& space) {
    console::out("\n  Total compress code space  = " + size_text(space.total) + "\n");
    console::out("  Total compressed code size = " + size_text(space.used) + "\n");
    console::out("  Remain compress code space = " + size_text(space.total - space.used) + "\n");
}

}  // namespace

void list_memory_module(const std::optional<MemoryModule>& module) {
    if (!module) return;
    console::outf("\n *** %s", module->texts[0].c_str());
    console::outf(" %s", module->texts[1].c_str());
    console::outf(" %s", module->texts[2].c_str());
    console::outf(" * Start Offset => %x, End Offset => %x ***\n", static_cast<unsigned>(module->start),
                  static_cast<unsigned>(module->end));
}

void print_listing(const std::string& input_file, const ImageSurvey& survey) {
    print_title(input_file);
    list_system_bios(survey.system_bios);
    list_chain(survey);
    list_top_block(survey.top_block);
    list_boot_vga(survey.vga_member);
    print_space_report(survey.space);
    print_on_board_vga(survey.on_board_vga);
    list_memory_module(survey.memory_module);
    print_microcode_report(survey.microcode);
}

GroupResult list_components(const Operand& op) {
    const BiosImage& image = op.image.image();
    print_listing(image.path, survey_image(image));
    return {};
}

// The component listing: frame, rows of the system BIOS and the chain, the
// space report, and the rows and reports of the blocks outside the chain.
#include "driver/listing.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/listing_row.hpp"
#include "common/catalogue.hpp"
#include "driver/operations.hpp"
#include "image/bios_image.hpp"
#include "image/boot_vga.hpp"
#include "image/chain.hpp"
#include "archive/member_head.hpp"
#include "image/memory_module.hpp"
#include "image/records.hpp"
#include "insert/microcode_capture.hpp"
#include "insert/microcode_report.hpp"

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

// The space the system BIOS takes, and its header when one is stored.
struct SystemBios {
    std::uint32_t space = 0;
    std::optional<MemberHead> header;
};

SystemBios system_bios(const BiosImage& image) {
    const std::uint32_t position = system_bios_position(image);
    const MemberHead header = read_member_head(image.bytes, position);
    // Nothing stored there: only the space reserved for it.
    if (!holds_member(header)) return {system_bios_space(position, 0, 0, image.file_size), std::nullopt};
    return {system_bios_space(position, header_size(header), packed_size(header), image.file_size), header};
}

// Row 0.
void list_system_bios(const BiosImage& image) {
    const SystemBios bios = system_bios(image);
    std::string lead = row_lead(0, "System BIOS     ");
    if (!bios.header) {
        console::out(lead);
        console::move_to_column(kSpaceColumn);
        console::out(size_text(bios.space));
        console::out("\n");
        return;
    }
    print_listing_row(lead, original_size(*bios.header), size_text(bios.space), listed_name(*bios.header));
}

// The chain rows.
void list_chain(BiosImage& image, MicrocodeCapture& capture) {
    ChainWalk walk = walk_image_chain(image);
    int row_number = 0;
    for (const ChainMember& member : walk.members) {
        const MemberHead& header = member.header;
        std::uint16_t segment = type_segment(header);
        // The walk took only members inside the file, so the span fits 32 bits.
        std::uint32_t space = static_cast<std::uint32_t>(member_span(member.header));
        print_listing_row(row_lead(++row_number, listing_name(segment, type_offset(member.header))),
                          original_size(header), size_text(space), listed_name(header));
        if (segment == kCpuCodeSegment) capture_microcode(image.bytes, member, capture);
    }
}

void print_space_report(std::uint32_t total, std::uint32_t used) {
    console::out("\n  Total compress code space  = " + size_text(total) + "\n");
    console::out("  Total compressed code size = " + size_text(used) + "\n");
    console::out("  Remain compress code space = " + size_text(total - used) + "\n");
}

}  // namespace

std::uint32_t system_bios_space(std::uint32_t position, std::uint8_t header_size,
                                std::uint32_t packed_size, std::uint32_t file_size) {
    if (position >= file_size) return 0;
    std::uint64_t space = std::max<std::uint64_t>(kFirstMemberMinSpace,
                                                  std::uint64_t{header_size} + packed_size + 4);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(space, file_size - position));
}

CompressedSpace compressed_space(const BiosImage& image) {
    const std::uint32_t first_space = system_bios(image).space;
    std::uint32_t used = first_space;
    for (const ChainMember& member : walk_image_chain(image).members)
        used += static_cast<std::uint32_t>(member_span(member.header));
    // All three are 32-bit values, as the area's pointers are.
    const std::uint32_t total = image.chain_start != 0 ? image.area_end - image.first_member
                                                       : first_space + image.area_end;
    return {total, used + image.ncpu_size};
}

Outcome list_components(RunState& state, BiosImage& image) {
    print_title(state.input_file);
    list_system_bios(image);
    MicrocodeCapture capture;
    list_chain(image, capture);
    list_ncpu_block(image);
    list_boot_block_vga(image);
    const CompressedSpace space = compressed_space(image);
    print_space_report(space.total, space.used);

    report_on_board_vga(image);
    list_memory_module(image);
    print_microcode_report(image, capture);
    return Outcome::NextGroup;
}

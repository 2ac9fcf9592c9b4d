// The microcode rows and tables of the component listing.
#include "report/listing_microcode.hpp"

#include <string>

#include "common/console.hpp"
#include "report/listing_row.hpp"

namespace {

inline constexpr int kBridgeSeparatorColumn = 39;
inline constexpr int kBridgeSecondCellColumn = 42;

// The separator or line end after a cell of the four-to-a-line grid.
int close_grid_cell(int column) {
    console::move_to_column(column);
    if (column > kCellWrapColumn) {
        console::out("\n");
        return kIntelFirstColumn;
    }
    console::out("|  ");
    return column + kIntelColumnStep;
}

// A bridge cell takes the left or the right half of a line (the second and
// fourth slots of the Intel grid), so the returned column keeps the grid.
int print_bridge_cell(const MicrocodeEntry& e) {
    if (console::column() > kBridgeSecondCellColumn) console::out("\n");
    const bool left_half = console::column() == 0;
    if (e.north != 0 || e.south != 0)
        console::outf("%08X %08X", e.north, e.south);
    else
        console::out(std::string(17, ' '));  // keeps the update ID under its heading
    console::outf("     %04X", e.update_id);
    console::outf("     %04X", e.cpuid);
    if (!left_half) {
        console::out("\n");
        return kIntelFirstColumn;
    }
    console::move_to_column(kBridgeSeparatorColumn);
    console::out("|  ");
    return kIntelFirstColumn + 2 * kIntelColumnStep;
}

void print_table_heading(bool bridge) {
    if (bridge) {
        console::out("    Bridge ID                          |     Bridge ID                         \n");
        console::out(" North    South      Update ID  CPUID  |  North    South      Update ID  CPUID \n");
        console::out("---------------------------------------+----------------------------------------");
    } else {
        console::out("Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID\n");
        console::out("------------------+--------------------+--------------------+-------------------");
    }
}

}  // namespace

void list_top_block(const std::optional<TopBlockRecord>& block) {
    if (!block || block->length == 0) return;
    print_listing_row("(SP) NCPUCODE        ", block->length, size_text(block->length), block->name);
}

int print_microcode_entry(const MicrocodeEntry& entry, int column) {
    if (entry.bridge) return print_bridge_cell(entry);
    console::out(entry.package);
    console::outf(" %02X   %04X", entry.revision, entry.signature);
    return close_grid_cell(column);
}

void print_microcode_report(const MicrocodeReport& report) {
    console::out("\n                          ** Micro Code Information **\n");
    print_table_heading(report.bridge_heading);
    int column = kIntelFirstColumn;
    for (const MicrocodeEntry& entry : report.entries) column = print_microcode_entry(entry, column);
    // No line end of its own: a line with fewer than four cells stays open
    // after its "|  ", as on the console.
}

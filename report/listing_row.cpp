// Size rendering and the row layout of the component listing.
#include "report/listing_row.hpp"

#include <cstdio>

#include "common/console.hpp"

std::string size_text(std::uint32_t value) {
    return size_text(value, value / 1024.0);
}

std::string size_text(std::uint32_t hex_value, double kilobytes) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%01X%04Xh(%.2fK)", static_cast<unsigned>(hex_value >> 16),
                  static_cast<unsigned>(hex_value & 0xFFFF), kilobytes);
    return buf;
}

void print_listing_row(std::string_view lead, std::uint32_t original_size, std::string_view space,
                       std::string_view name) {
    console::out(lead);
    console::out("  ");
    console::out(size_text(original_size));
    console::move_to_column(kSpaceColumn);
    console::out(space);
    console::move_to_column(kNameColumn);
    console::out(name);
    console::out("\n");
}

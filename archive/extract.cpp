// Member expansion into "original.tmp".
#include "archive/extract.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "archive/codec_storage.hpp"
#include "archive/crc16.hpp"
#include "archive/lh5_decoder.hpp"
#include "archive/settings.hpp"
#include "archive/work_files.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"

std::uint64_t next_member_offset(std::uint64_t offset, std::uint8_t header_size,
                                 std::uint32_t packed_size, std::uint64_t gap) {
    return offset + header_size + 2 + packed_size + gap;
}

namespace {

void report_data_end(const ComponentHeader& header) {
    console::conf("%s: compressed data ends early\n", header.name.c_str());
}

}  // namespace

ExpandResult expand_member(File& archive, const ComponentHeader& header, bool close_output) {
    ExpandResult result;
    result.output = File(work_file::kExpanded, "wb");
    if (!result.output.is_open()) {
        console::conf("Can't open %s\n", work_file::kExpanded);
        return result;
    }
    // "-lh" and "-" around one method character: 0 stored, 4 and 5 LH5.
    const char m = header.method[3];
    if (!known_method(std::string_view(header.method.data(), header.method.size()))) {
        console::conf("Unknown method: %u\n", static_cast<unsigned>(static_cast<unsigned char>(m)));
        result.output.close();
        return result;
    }
    std::array<std::uint8_t, lh5::kPieceSize>& buffer = lh5::storage().expand_buffer;
    // A match that reaches before the first output byte copies zeros.
    buffer.fill(0);
    if (m != '0') {
        lh5::source_from_file(archive, header.packed_size);
        lh5_expand_start();
    }
    std::uint16_t crc = 0;
    for (std::uint32_t left = header.original_size; left > 0;) {
        const std::size_t n = std::min<std::size_t>(left, lh5::kPieceSize);
        std::size_t got = n;
        if (m == '0') {
            if (archive.read(std::span(buffer).first(n)) != n) fatal("Can't read");
        } else {
            got = lh5_expand(n, buffer.data());
        }
        const std::span<const std::uint8_t> piece(buffer.data(), got);
        if (!result.output.write(piece)) fatal("Unable to write");
        crc = crc16::update(crc, piece);
        if (got < n) {
            report_data_end(header);
            result.ended_early = true;
            break;
        }
        left -= static_cast<std::uint32_t>(n);
    }
    result.crc = crc;
    if (close_output) {
        if (!result.output.flush()) fatal("Unable to write");
        result.output.close();
    }
    return result;
}

bool extract_component() {
    const std::string& name = archive_settings().archive_name;
    File archive(name, "rb");
    if (!archive.is_open()) {
        console::conf("Can't open %s\n", name.c_str());
        return false;
    }
    std::optional<ComponentHeader> header = read_member_header(archive);
    if (!header) {
        console::conf("No component in %s\n", name.c_str());
        return false;
    }
    return !expand_member(archive, *header, true).ended_early;
}

std::vector<std::uint8_t> expand_in_memory(File& file, std::uint64_t offset, std::size_t limit,
                                           bool* ended_early) {
    std::vector<std::uint8_t> out;
    if (ended_early) *ended_early = false;
    if (!file.seek(static_cast<std::int64_t>(offset))) return out;
    std::optional<ComponentHeader> header = read_member_header(file);
    if (!header || !known_method(std::string_view(header->method.data(), header->method.size()))) return out;
    const std::size_t want = std::min<std::size_t>(header->original_size, limit);
    if (header->method[3] == '0') {
        out.resize(want);
        if (file.read(out) != want) fatal("Can't read");
        return out;
    }
    std::array<std::uint8_t, lh5::kPieceSize>& buffer = lh5::storage().expand_buffer;
    buffer.fill(0);  // a match that reaches before the first output byte copies zeros
    lh5::source_from_file(file, header->packed_size);
    lh5_expand_start();
    while (out.size() < want) {
        const std::size_t n = std::min<std::size_t>(want - out.size(), lh5::kPieceSize);
        const std::size_t got = lh5_expand(n, buffer.data());
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
        if (got < n) {
            report_data_end(*header);
            if (ended_early) *ended_early = true;
            break;
        }
    }
    return out;
}

bool extract_archive(const std::string& archive) {
    std::string& name = archive_settings().archive_name;
    const std::string saved = name;
    name = archive;
    bool complete = false;
    try {
        complete = extract_component();
    } catch (...) {
        name = saved;
        throw;
    }
    name = saved;
    return complete;
}

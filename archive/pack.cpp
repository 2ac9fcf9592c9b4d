// The work-archive writer.
#include "archive/pack.hpp"

#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "archive/codec_storage.hpp"
#include "archive/crc16.hpp"
#include "archive/lh5_encoder.hpp"
#include "archive/settings.hpp"
#include "archive/work_files.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"

namespace {

// True when `input` names the same file as the work file `work` (the
// temporary file is truncated before the input is read, the archive removed
// after it): packing it would destroy the caller's file.
bool is_same_file(const std::string& input, const std::string& work) {
    std::error_code ec;
    return std::filesystem::equivalent(input, work, ec);
}
}  // namespace

std::uint32_t compression_ratio(std::uint32_t packed, std::uint32_t original) {
    for (int i = 0; i < 3; ++i) {
        if (packed > 429496729u)
            original /= 10;
        else
            packed *= 10;
    }
    if (packed + original / 2 < packed) {  // would overflow
        packed >>= 1;
        original >>= 1;
    }
    if (original == 0) return 0;
    return (packed + original / 2) / original;
}

bool write_member(File& out, const std::string& input_name, ComponentHeader& header, bool verbose) {
    File input(input_name, "rb");
    if (!input.is_open()) {
        console::conf("Can't open %s\n", input_name.c_str());
        return false;
    }
    if (verbose) console::outf("Adding %s ", header.name.c_str());

    const std::int64_t member_start = out.tell();
    header.method = {'-', 'l', 'h', '5', '-'};
    header.packed_size = header.original_size = 0;
    header.data_crc = 0;
    write_member_header(header, out);  // provisional; write errors surface at the end
    const std::int64_t data_start = out.tell();

    lh5::Counters& k = lh5::storage().counters;
    k.original_size = k.packed_size = 0;
    k.crc = 0;
    lh5::source_from_file(input, UINT64_MAX);
    lh5::sink_to_file(out);
    lh5_compress(verbose);

    if (k.give_up) {
        header.method[3] = '0';
        if (!input.seek(0)) fatal("Can't read");
        if (!out.seek(data_start)) fatal("Unable to write");  // the seek flushes the compressed bytes
        k.original_size = 0;
        k.crc = 0;
        std::array<std::uint8_t, lh5::kPieceSize> piece;
        for (;;) {
            const std::size_t n = input.read(piece);
            if (n == 0) break;
            const std::span<const std::uint8_t> data(piece.data(), n);
            if (!out.write(data)) fatal("Unable to write");
            k.crc = crc16::update(k.crc, data);
            k.original_size += static_cast<std::uint32_t>(n);
        }
        k.packed_size = k.original_size;
    }
    header.packed_size = k.packed_size;
    header.original_size = k.original_size;
    header.data_crc = k.crc;
    input.close();

    if (!out.seek(member_start) || !write_member_header(header, out) ||
        !out.seek(data_start + header.packed_size))
        fatal("Can't write");

    if (verbose) {
        const std::uint32_t r = compression_ratio(header.packed_size, header.original_size);
        console::outf(" %u.%u%%\n", r / 10, r % 10);
    }
    return true;
}

bool pack_component(const std::string& file_name, unsigned flags, std::string_view stored_name) {
    lh5::Counters& k = lh5::storage().counters;
    k.give_up = (flags & pack_flags::kStore) != 0;
    flags &= ~pack_flags::kStore;
    const bool verbose = (flags & 0xFF) != 0;

    const ArchiveSettings& settings = archive_settings();
    for (const std::string& work : {std::string(work_file::kTemporary), settings.archive_name}) {
        if (is_same_file(file_name, work)) {
            console::conf("Can't pack %s: it is the work file %s\n", file_name.c_str(), work.c_str());
            return false;
        }
    }
    File old_archive(settings.archive_name, "rb");
    File temp(work_file::kTemporary, "wb");
    if (!temp.is_open()) fatal("Can't open temporary file");

    ComponentHeader header;
    header.name = stored_name.empty() ? file_name : std::string(stored_name);
    const TypeIdValue type = parse_type_id(settings.type_id);
    header.type_segment = type.segment;
    header.type_offset = type.offset;

    // A write that fails ends the run; no half-written archive is left behind.
    auto drop_temporary = [&temp] {
        temp.close();
        std::remove(work_file::kTemporary);
    };
    if (header.name.size() > member::kMaxNameLength) {
        console::conf("Name too long: %s\n", header.name.c_str());
        return false;
    }
    try {
        if (!write_member(temp, file_name, header, verbose)) return false;
        const std::uint8_t end_byte = 0;
        const bool ended = temp.write(std::span(&end_byte, 1));
        if (!ended || lh5::storage().sink.failed || std::ferror(temp.get()) || !temp.flush()) fatal("Can't write");
    } catch (const FatalError&) {
        drop_temporary();
        throw;
    }
    temp.close();

    old_archive.close();
    std::remove(settings.archive_name.c_str());
    if (std::rename(work_file::kTemporary, settings.archive_name.c_str()) != 0) {
        console::out("Can't rename");
        console::conf("The packed %s is left in %s.\n", file_name.c_str(), work_file::kTemporary);
        return false;  // the archive is missing: it holds no member
    }
    return true;
}

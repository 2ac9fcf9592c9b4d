// The work-archive writer, in memory.
#include "archive/pack.hpp"

#include "archive/codec_storage.hpp"
#include "archive/crc16.hpp"
#include "archive/lh5_encoder.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"

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

std::optional<std::vector<std::uint8_t>> pack_member(std::span<const std::uint8_t> input, const PackOptions& options) {
    if (options.name.size() > member::kMaxNameLength) {
        console::conf("Name too long: %s\n", options.name.c_str());
        return std::nullopt;
    }
    if (options.verbose) console::outf("Adding %s ", options.name.c_str());

    HeaderFields header;
    header.name = options.name;
    header.type = parse_type_id(options.type_id);

    std::vector<std::uint8_t> data;
    bool stored = options.store;
    if (!stored) {
        lh5::source_from_memory(input);
        lh5::sink_to_memory(data);
        lh5_compress(options.verbose);
        stored = lh5::storage().counters.give_up;
    }
    const lh5::Counters& k = lh5::storage().counters;

    if (stored) {
        header.method = '0';
        data.assign(input.begin(), input.end());
        header.data_crc = crc16::update(0, input);
        header.original_size = header.packed_size = static_cast<std::uint32_t>(input.size());
    } else {
        if (data.size() != k.packed_size) fatal("Internal error: the coder's count and its output disagree");
        header.data_crc = k.crc;
        header.original_size = k.original_size;
        header.packed_size = k.packed_size;
    }
    std::vector<std::uint8_t> archive = header_bytes(header);
    archive.insert(archive.end(), data.begin(), data.end());
    archive.push_back(0);  // the archive's end byte

    if (options.verbose) {
        const std::uint32_t r = compression_ratio(header.packed_size, header.original_size);
        console::outf(" %u.%u%%\n", r / 10, r % 10);
    }
    return archive;
}

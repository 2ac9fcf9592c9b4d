// The work-archive writer, in memory.
#include "archive/pack.hpp"

#include <algorithm>
#include <cstdio>

#include "archive/best_encoder.hpp"
#include "archive/codec_storage.hpp"
#include "archive/crc16.hpp"
#include "archive/lh5_decoder.hpp"
#include "archive/lh5_encoder.hpp"
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

namespace {

// Whether `stream` expands to `input`: the near-optimal stream is checked
// by the decoder before it goes into a member.
bool expands_to(const std::vector<std::uint8_t>& stream, std::span<const std::uint8_t> input) {
    lh5::source_from_memory(stream);
    lh5_expand_start();
    std::vector<std::uint8_t> back;
    lh5_expand_vector(back, input.size());
    return !lh5_bad_table() && std::equal(back.begin(), back.end(), input.begin(), input.end());
}

// The near-optimal stream into `data` and `header` when it is smaller than
// what they hold (`stored`: the input itself).
void take_best_if_smaller(std::span<const std::uint8_t> input, std::vector<std::uint8_t>& data, bool& stored,
                          HeaderFields& header) {
    std::vector<std::uint8_t> stream = lh5_compress_best(input);
    if (stream.size() >= data.size() || !expands_to(stream, input)) return;
    data = std::move(stream);
    stored = false;
    header.method = '5';
    header.data_crc = crc16::update(0, input);
    header.original_size = static_cast<std::uint32_t>(input.size());
    header.packed_size = static_cast<std::uint32_t>(data.size());
}

}  // namespace

std::optional<std::vector<std::uint8_t>> pack_member(std::span<const std::uint8_t> input, const PackOptions& options) {
    if (options.name.size() > member::kMaxNameLength) {
        say(options.voice.err, joined({"Name too long: ", options.name, "\n"}));
        return std::nullopt;
    }
    if (options.verbose) say(options.voice.out, joined({"Adding ", options.name, " "}));

    HeaderFields header;
    header.name = options.name;
    header.type = parse_type_id(options.type_id);

    std::vector<std::uint8_t> data;
    bool stored = options.store;
    if (!stored) {
        lh5::source_from_memory(input);
        lh5::sink_to_memory(data);
        lh5_compress(options.verbose, options.voice);
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
    if (options.encoder == Encoder::Best && !options.store) take_best_if_smaller(input, data, stored, header);
    std::vector<std::uint8_t> archive = header_bytes(header);
    archive.insert(archive.end(), data.begin(), data.end());
    archive.push_back(0);  // the archive's end byte

    if (options.verbose) {
        const std::uint32_t r = compression_ratio(header.packed_size, header.original_size);
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, " %u.%u%%\n", r / 10, r % 10);
        say(options.voice.out, ratio);
    }
    return archive;
}

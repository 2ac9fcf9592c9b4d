// The compressor's main loop and input reading.
#include "archive/lh5_encoder.hpp"

#include "archive/block_coder.hpp"
#include "archive/codec_storage.hpp"
#include "archive/crc16.hpp"
#include "archive/match_finder.hpp"

std::size_t read_input(std::uint8_t* buffer, std::size_t n) {
    lh5::Counters& k = lh5::storage().counters;
    const std::size_t got = lh5::source_read(std::span(buffer, n));
    k.original_size += static_cast<std::uint32_t>(got);
    k.crc = crc16::update(k.crc, std::span<const std::uint8_t>(buffer, got));
    return got;
}

void lh5_compress(bool verbose, Voice voice) {
    using namespace lh5;
    CodecStorage& st = storage();
    st.counters = {};
    st.voice = voice;
    MatchTree& t = st.tree;
    match_finder_start();
    block_coder_start();
    t.verbose = verbose;
    t.remaining = static_cast<int>(read_input(&t.text[kDictSize], kDictSize + kMaxMatch));
    t.match_length = 0;
    t.pos = kDictSize;
    insert_position();
    if (t.match_length > t.remaining) t.match_length = t.remaining;
    while (t.remaining > 0 && !st.counters.give_up) {
        const int last_length = t.match_length;
        const int last_pos = t.match_pos;
        advance();
        if (t.match_length > t.remaining) t.match_length = t.remaining;
        if (t.match_length > last_length || last_length < kThreshold) {
            queue_token(t.text[t.pos - 1], 0);
        } else {
            queue_token(static_cast<unsigned>(last_length + (256 - kThreshold)),
                        static_cast<unsigned>(t.pos - last_pos - 2) & (kDictSize - 1));
            for (int i = last_length - 1; i > 0; --i) advance();
            if (t.match_length > t.remaining) t.match_length = t.remaining;
        }
    }
    if (!st.counters.give_up) {
        flush_block();
        emit_bits(7, 0);
    }
    sink_flush();
    st.voice = {};
}

Lh5Stream lh5_compress_buffer(std::span<const std::uint8_t> input) {
    Lh5Stream result;
    lh5::CodecStorage& st = lh5::storage();
    lh5::source_from_memory(input);
    lh5::sink_to_memory(result.data);
    lh5_compress(false);
    result.gave_up = st.counters.give_up;
    result.crc = st.counters.crc;
    if (result.gave_up) result.data.clear();
    return result;
}

// The codec's one storage instance and its byte source and sink.
#include "archive/codec_storage.hpp"

#include <algorithm>
#include <cstring>

namespace lh5 {

constinit CodecStorage g_storage;

void source_from_memory(std::span<const std::uint8_t> memory) {
    ByteSource& s = storage().source;
    s.memory = memory;
    s.limit = memory.size();
}

std::size_t source_read(std::span<std::uint8_t> out) {
    ByteSource& s = storage().source;
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), s.limit));
    if (n == 0) return 0;
    const std::size_t at = s.memory.size() - static_cast<std::size_t>(s.limit);
    std::memcpy(out.data(), s.memory.data() + at, n);
    s.limit -= n;
    return n;
}

void sink_to_memory(std::vector<std::uint8_t>& memory) {
    ByteSink& s = storage().sink;
    s.memory = &memory;
    s.fill = 0;
}

void sink_flush() {
    ByteSink& s = storage().sink;
    if (s.fill == 0) return;
    std::span<const std::uint8_t> data(s.buffer.data(), s.fill);
    if (s.memory) s.memory->insert(s.memory->end(), data.begin(), data.end());
    s.fill = 0;
}

}  // namespace lh5

// SHA-256 (FIPS 180-4).
#include "common/sha256.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define MOZAIK_SHA_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr std::array<std::uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline std::uint32_t rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

#ifdef MOZAIK_SHA_X86
bool processor_has_sha() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = (c >> 9) & 1, sse41 = (c >> 19) & 1;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return ssse3 && sse41 && ((b >> 29) & 1);
}

// The instructions keep the state as ABEF and CDGH (A in the top lane); each
// SHA256RNDS2 does two rounds, each SHA256MSG1/MSG2 pair four words of the
// schedule from the four groups of four before them.
__attribute__((target("sha,sse4.1,ssse3"))) void blocks_with_instructions(std::uint32_t* h, const std::uint8_t* p,
                                                                          std::size_t count) {
    const __m128i big_endian = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i badc = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(badc, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, badc, 0xF0);
    for (; count > 0; --count, p += 64) {
        const __m128i abef_in = abef, cdgh_in = cdgh;
        __m128i w[4];
        for (int i = 0; i < 4; ++i)
            w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)), big_endian);
        for (int g = 0; g < 16; ++g) {
            __m128i& m = w[g % 4];  // words 4g-16..4g-13 before the update, 4g..4g+3 after it
            if (g >= 4) {
                const __m128i& last = w[(g + 3) % 4];
                m = _mm_sha256msg1_epu32(m, w[(g + 1) % 4]);
                m = _mm_sha256msg2_epu32(_mm_add_epi32(m, _mm_alignr_epi8(last, w[(g + 2) % 4], 4)), last);
            }
            const __m128i wk = _mm_add_epi32(m, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[4 * g])));
            // Two rounds make the old ABEF the new CDGH: after both, the names fit again.
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
        }
        abef = _mm_add_epi32(abef, abef_in);
        cdgh = _mm_add_epi32(cdgh, cdgh_in);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B), dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 4), _mm_alignr_epi8(dchg, feba, 8));
}

const bool kHasInstructions = processor_has_sha();
#else
const bool kHasInstructions = false;
#endif

}  // namespace

bool sha256_has_instructions() {
    return kHasInstructions;
}

Sha256::Sha256(Sha256Path path)
    : instructions_(kHasInstructions && path == Sha256Path::Fastest), h_{0x6a09e667, 0xbb67ae85, 0x3c6ef372,
                                                                         0xa54ff53a, 0x510e527f, 0x9b05688c,
                                                                         0x1f83d9ab, 0x5be0cd19} {}

void Sha256::blocks(const std::uint8_t* p, std::size_t count) {
#ifdef MOZAIK_SHA_X86
    if (instructions_) return blocks_with_instructions(h_.data(), p, count);
#endif
    for (; count > 0; --count, p += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = (std::uint32_t(p[4 * i]) << 24) | (std::uint32_t(p[4 * i + 1]) << 16) |
                   (std::uint32_t(p[4 * i + 2]) << 8) | p[4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h_[0] += a, h_[1] += b, h_[2] += c, h_[3] += d, h_[4] += e, h_[5] += f, h_[6] += g, h_[7] += h;
    }
}

void Sha256::update(std::span<const std::uint8_t> data) {
    total_ += data.size();
    std::size_t at = 0;
    if (pending_size_ > 0) {
        std::size_t take = std::min(data.size(), 64 - pending_size_);
        if (take > 0) std::memcpy(&pending_[pending_size_], data.data(), take);
        pending_size_ += take;
        at = take;
        if (pending_size_ < 64) return;
        blocks(pending_.data(), 1);
        pending_size_ = 0;
    }
    if (const std::size_t whole = (data.size() - at) / 64; whole > 0) {
        blocks(data.data() + at, whole);
        at += whole * 64;
    }
    if (data.size() > at) std::memcpy(pending_.data(), data.data() + at, data.size() - at);
    pending_size_ = data.size() - at;
}

std::string Sha256::hex_digest() {
    const std::uint64_t bits = total_ * 8;
    std::uint8_t pad[72] = {0x80};
    std::size_t pad_len = (pending_size_ < 56 ? 56 : 120) - pending_size_;
    for (int i = 0; i < 8; ++i) pad[pad_len + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    update(std::span<const std::uint8_t>(pad, pad_len + 8));
    std::string out;
    char hex[9];
    for (std::uint32_t v : h_) {
        std::snprintf(hex, sizeof hex, "%08x", v);
        out += hex;
    }
    return out;
}

std::string sha256_hex(std::span<const std::uint8_t> data) {
    Sha256 digest;
    digest.update(data);
    return digest.hex_digest();
}

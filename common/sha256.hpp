// SHA-256: the digest a report gives of an image, and what tests use to
// check large outputs without keeping them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

// Blocks go through the processor's SHA instructions where it has them (x86
// with the SHA extensions), several times faster, unless Portable is asked
// for; otherwise through the portable rounds. Both give the same digests;
// tests compare them.
enum class Sha256Path { Fastest, Portable };

class Sha256 {
public:
    explicit Sha256(Sha256Path path = Sha256Path::Fastest);
    void update(std::span<const std::uint8_t> data);
    // The digest as 64 lower-case hexadecimal digits; ends the computation.
    std::string hex_digest();

private:
    void blocks(const std::uint8_t* p, std::size_t count);  // whole 64-byte blocks
    bool instructions_;                                     // the processor's SHA instructions are used
    std::array<std::uint32_t, 8> h_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pending_size_ = 0;
    std::uint64_t total_ = 0;
};

// The digest of `data` as 64 lower-case hexadecimal digits.
std::string sha256_hex(std::span<const std::uint8_t> data);

// Whether this processor has the SHA instructions.
bool sha256_has_instructions();

// What a member holds against what its kind holds: a picture kind a
// LogoImage, an option ROM kind a ROM (55 AA, a length byte the content
// covers, an 8-bit sum of 0, its family's PCI class), an ACPI kind tables
// whose signature, length and checksum hold, a microcode kind records whose
// checksums hold; and a kind whose preparation takes an executable's body
// holds no whole executable. The catalogue row of the member's TypeId says
// which check applies. Reads only; nothing is printed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// One mismatch: `text` names the member, what was found and what the kind
// holds ("VGA ROM[2] at 14632h: PCI class 02h (network), a VGA ROM has class 03h").
struct ContentProblem {
    std::string code;  // "content_pci_class", "content_sum", ...
    std::string text;
};

// The member a check is about: its TypeId, and its name (as the listing
// names it, without padding) and position for the texts.
struct ContentSubject {
    std::uint16_t type_segment = 0, type_offset = 0;
    std::string name;
    std::uint32_t position = 0;
};

// The mismatches of `content`, the subject's expanded data; none for a kind
// whose content is not checked.
std::vector<ContentProblem> check_content(const ContentSubject& subject, std::span<const std::uint8_t> content);

// The same for the member (header first) at `position` of an image, expanded
// in memory; none when it does not expand whole (its archive checks say so).
std::vector<ContentProblem> check_member_content(std::span<const std::uint8_t> member, std::uint32_t position);

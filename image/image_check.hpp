// The checks of an image before it is flashed, as findings: each member
// (the system BIOS, the chain, the "*BT-VGA*" slot) with its header sum and
// the CRC-16 of its data after a full expansion in memory, and what it holds
// against what its kind holds (content_checks.hpp); where and how the
// chain ends; the top microcode block and the "*BS1" pointer; the area's
// check byte and the file sums against what the closing fix-ups write.
// /verify prints the findings' lines; the JSON report gives the members and
// the problems. Reads only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/member_header.hpp"
#include "image/chain.hpp"
#include "image/components.hpp"
#include "image/content_checks.hpp"
#include "image/option_rom.hpp"

struct BiosImage;

// One line of the check: `code` names what was found ("ok",
// "header_sum", "chain_not_erased", ...); `problem` whether it counts as one.
struct Finding {
    std::uint32_t offset = 0;
    std::string code;
    std::string line;  // as /verify prints it
    bool problem = false;
};

struct MemberCheck {
    Place place = Place::Chain;  // the system BIOS, the chain or the boot block's VGA slot
    std::uint32_t position = 0;
    std::string name;  // as the listing names it, without trailing blanks
    MemberHead head;
    std::optional<std::uint8_t> computed_sum;   // nothing when the header is cut short
    std::optional<std::uint16_t> recorded_crc;  // nothing when the header holds none
    std::optional<std::uint16_t> computed_crc;  // nothing when the data was not expanded whole
    std::optional<std::string> content_sha256;  // of the expanded data, when expanded whole
    std::optional<PciIdentity> pci;             // an option ROM's, from its PCI data structure
    std::vector<ContentProblem> content;        // what it holds against what its kind holds
    std::string verdict;                        // "ok", "CRC not recorded" or what is wrong (the content mismatches)
    std::string code;                           // the verdict's code
    bool problem = false;
};

struct ImageCheck {
    std::vector<MemberCheck> members;
    std::vector<Finding> findings;  // in the order /verify prints them, members' lines among them
    int problems = 0;
};

// Checks the image. `walk`: its chain (walk_image_chain), walked once by the caller.
// With `digests`, each member expanded whole also gets the SHA-256 of its
// content and, for an option ROM, its PCI identity.
ImageCheck check_image(const BiosImage& image, const ChainWalk& walk, bool digests = false);

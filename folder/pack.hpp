// NEW /pack DIR: an image written from a folder /unpack made. It starts from
// the image /unpack saved (image.bin: the bytes outside the components and
// each member as stored) and lays the chain again in manifest order from
// the chain's start: a member whose content file still has the line's
// SHA-256 goes back as it was stored, byte for byte; a changed or added
// line's content is packed anew under its TypeId, method and stored name;
// a deleted line's member is gone. A /NoCompress member keeps its data on
// 16 bytes, as an add places it. The chain space behind the new chain is
// erased, and the closing fix-ups run when any byte changed. The system
// BIOS is packed anew in its place when its content changed and its space
// stays the same; the top block and the boot-block slots go back as they
// were, or, when their content changed, go in as /NC_CPUCODE, /btvga and
// /NVMM put a file there (folder/pack_blocks). Every fault is said with what to fix, and nothing is
// written. NEW is written whole through a temporary file and a rename,
// flushed to the disk. With /dry: the dry run's report of NEW against the
// image /unpack saved, and nothing written.
#pragma once

#include <string>

// `NEW /pack DIR` and the run's words that bear on it.
struct PackRequest {
    std::string output;  // NEW
    std::string dir;     // DIR
    bool err_mode = false, dry = false, json = false, best = false;
};

// The run: its exit status.
int pack_folder(const PackRequest& request);

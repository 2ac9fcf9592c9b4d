// NEW /pack DIR: an image written from a folder /unpack made. It starts from
// the image /unpack saved (image.bin: the bytes outside the components and
// each member as stored) and lays the chain again in manifest order from
// the chain's start with the members whose content file still has the
// line's SHA-256, byte for byte; a deleted line's member is gone. Each
// changed or added chain line is then the add of its switch, through
// insert/ (folder/pack_adds). The system BIOS, which no add places, is
// packed anew in its place when its content changed and its space stays
// the same; the top block and the boot-block slots go back as they were,
// or, when their content changed, go in through the adds of /NC_CPUCODE,
// /btvga and /NVMM (folder/pack_blocks). The closing fix-ups run when any
// byte changed. Every fault is said with what to fix, and nothing is
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

// /dry's report: a run that did everything it would do against its copy of
// the image in memory, and wrote nothing (the files it would write went to
// a private folder), says what would change: the members added, replaced,
// moved and removed (image/changes), the bytes changed outside the chain,
// the files the run would write and the exit status it would have, as text
// or, with /json, as one JSON document.
#pragma once

#include <string>
#include <vector>

struct BiosImage;

struct DryRunReport {
    const std::string& input_file;  // as the command line named it
    bool json = false;
    const BiosImage& before;                 // as the run opened it
    const BiosImage& after;                  // as the run would leave it (the same when it would write nothing)
    int status = 0;                          // the exit status the run would have
    const std::string& folder;               // where the run's files went
    const std::string* out_file = nullptr;   // out=NEW: the image would go there whole
    std::vector<std::string> failures = {};  // why the status would be 1, one reason each
};

void report_dry_run(const DryRunReport& report);

// The folder /unpack writes into: new, holding only dot-entries (".git"),
// or an earlier unpack (it has a manifest.txt), which is refreshed in
// place: the files /unpack makes are rewritten, those of components that
// are gone removed, and every other file left as it was.
#pragma once

#include <set>
#include <string>

struct UnpackFolder {
    std::string why_not;          // why the folder cannot take the unpack; empty when it can
    bool existed = false;         // the folder was there before
    bool refresh = false;         // an earlier unpack: its files are replaced, not made new
    std::set<std::string> named;  // the files its manifest names (and the manifest)
};

// What stands at `dir`. The earlier manifest is read without following a link.
UnpackFolder examine_folder(const std::string& dir);

// After a refresh or an unpack into a folder with entries: removes each
// file `before` named that `written` does not (one part, no link
// followed: a link is removed itself), with the bitmap beside a removed
// .bin, and says on stdout what it removed and each entry it left.
void tidy_folder(const std::string& dir, const std::set<std::string>& before, const std::set<std::string>& written);

#pragma once

#include <vector>

#include "support/I18NString.h"
#include "support/LockedFile.h"

// quennel -r without -k: removes what the selectors match and writes the rest in the compact
// form of a rewritten file (see CompactWriter), as the file is read. Nothing is held but the
// open elements and a piece of text, so memory does not grow with the file. Messages, counts
// and bytes are those of a removal from the file's tree: the selectors take effect one after
// another, and attributes come out sorted by name.
class RewritingRemover {
public:
    // Shows every match where it stands and writes nothing (-n).
    void setDryRun(bool dry) { dryRun = dry; }

    // The file opened and locked by the caller at path; replaced only when something matched.
    bool removeFromFile(const I18NString& path, const std::vector<const char*>& selectors,
                        LockedFile& file);
    // Standard input to standard output, whole even when nothing matched.
    bool removeFromStandardInput(const std::vector<const char*>& selectors);

private:
    bool remove(const I18NString& path, const std::vector<const char*>& selectors, int descriptor,
                LockedFile* file);

    bool dryRun = false;
};

#pragma once

#include <vector>

#include "support/I18NString.h"
#include "support/LockedFile.h"

// quennel -r -k: removes what the selectors match by cutting it out of the file's bytes, so that
// everything else (declaration, encoding, DOCTYPE, comments, references, quotes, attribute
// order, line ends) stays as it was. The file is read twice and never held whole: once by the
// parser, which checks it and finds the matches, once to copy it without them. Messages and
// counts are those of a removal that rewrites the file.
class ByteKeepingRemover {
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

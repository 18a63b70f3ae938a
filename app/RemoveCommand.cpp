#include "app/RemoveCommand.h"

#include <iostream>
#include <vector>

#include "app/EntryPoint.h"
#include "output/DOMElementRemover.h"
#include "output/Selector.h"
#include "support/LockedFile.h"
#include "support/QelFmFile.h"

namespace {

void reportMissing(const char* file) {
    std::cout << "\n\n *** INVALID FILE: The file " << file << " doesn't exist."
              << "\n Please insure the file exist and try again.";
}

void reportReadOnly(const char* file) {
    std::cout << "\n\n *** FILE ACCESS: The file " << file << " is set to be read-only."
              << "\n Please insure that the file has write access.";
}

}  // namespace

bool runRemoveCommand(int argc, char* argv[]) {
    // -n (any case) between -r and the file, when a file follows: a dry run.
    const bool dryRun = argc > 3 && compareNoCase(I18NString(argv[2], nullptr, -1, nullptr, nullptr),
                                                  I18NString("-n", nullptr, -1, nullptr, nullptr)) == 0;
    if (dryRun) {
        --argc;
        ++argv;
    }
    const char* file = argv[2];
    // A malformed selector is refused before any file is read.
    if (!parseSelectors(std::vector<const char*>(argv + 3, argv + argc))) return false;
    if (!QelFmDir::exists(file, 0x8100)) {
        reportMissing(file);
        return false;
    }
    if (!QelFmDir::exists(file, 0x8180)) {
        reportReadOnly(file);
        return false;
    }
    // Opened, locked and checked before anything is read; held until the file is replaced.
    LockedFile locked;
    switch (locked.open(file)) {
        case LockedFile::Missing:
            reportMissing(file);
            return false;
        case LockedFile::ReadOnly:
            reportReadOnly(file);
            return false;
        case LockedFile::HardLinked:
            // A new file in its place would leave the other names with the old content.
            std::cout << "\n\n *** FILE ACCESS: The file " << file << " has " << locked.links()
                      << " hard links; rewriting it would split them."
                      << "\n Please insure that the file has a single link.";
            return false;
        case LockedFile::Opened:
        case LockedFile::Unreadable:  // reported by the load, as before
            break;
    }
    const I18NString path(file, I18NGetPlatformDefaultEncoding(), -1, nullptr, nullptr);
    std::vector<const char*> elementNames(argv + 3, argv + argc);
    DOMElementRemover remover;
    remover.setDryRun(dryRun);
    return remover.removeElementsFromFile(path, elementNames, locked);
}

bool runRemoveFilter(int argc, char* argv[]) {
    if (!parseSelectors(std::vector<const char*>(argv + 3, argv + argc))) return false;
    DOMElementRemover remover;
    return remover.removeElementsFromStandardInput(ElementNames(argv + 3, argv + argc));
}

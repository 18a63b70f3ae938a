#include "app/RemoveCommand.h"

#include <iostream>
#include <vector>

#include "app/EntryPoint.h"
#include "output/ByteKeepingRemover.h"
#include "output/RewritingRemover.h"
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

bool isWord(const char* argument, const char* word) {
    return compareNoCase(I18NString(argument, nullptr, -1, nullptr, nullptr),
                         I18NString(word, nullptr, -1, nullptr, nullptr)) == 0;
}

struct RemoveOptions {
    bool keep = false;    // -k: cut the matches out of the bytes
    bool dryRun = false;  // -n: show the matches, write nothing
    int file = 2;         // where the file stands
};

RemoveOptions removeOptions(int argc, char* argv[]) {
    RemoveOptions options;
    for (; options.file + 1 < argc; ++options.file) {
        if (isWord(argv[options.file], "-k"))
            options.keep = true;
        else if (isWord(argv[options.file], "-n"))
            options.dryRun = true;
        else
            break;
    }
    return options;
}

}  // namespace

int removeFileArgument(int argc, char* argv[]) { return removeOptions(argc, argv).file; }

bool runRemoveCommand(int argc, char* argv[]) {
    const RemoveOptions options = removeOptions(argc, argv);
    const char* file = argv[options.file];
    const std::vector<const char*> selectors(argv + options.file + 1, argv + argc);
    // A malformed selector is refused before any file is read.
    if (!parseSelectors(selectors)) return false;
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
    if (options.keep) {
        ByteKeepingRemover remover;
        remover.setDryRun(options.dryRun);
        return remover.removeFromFile(path, selectors, locked);
    }
    RewritingRemover remover;
    remover.setDryRun(options.dryRun);
    return remover.removeFromFile(path, selectors, locked);
}

bool runRemoveFilter(int argc, char* argv[]) {
    const RemoveOptions options = removeOptions(argc, argv);
    const std::vector<const char*> selectors(argv + options.file + 1, argv + argc);
    if (!parseSelectors(selectors)) return false;
    if (options.keep) {
        ByteKeepingRemover remover;
        remover.setDryRun(options.dryRun);
        return remover.removeFromStandardInput(selectors);
    }
    RewritingRemover remover;
    remover.setDryRun(options.dryRun);
    return remover.removeFromStandardInput(selectors);
}

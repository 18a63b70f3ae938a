#include "app/DiffCommand.h"

#include <iostream>
#include <vector>

#include "app/EntryPoint.h"
#include "app/Usage.h"
#include "compare/Quennel.h"
#include "support/Platform.h"
#include "support/QelFmFile.h"

namespace {

bool argumentIs(const char* argument, const char* option) {
    return compareNoCase(I18NString(argument, nullptr, -1, nullptr, nullptr),
                         I18NString(option, nullptr, -1, nullptr, nullptr)) == 0;
}

bool fileExists(const char* file) {
    if (namesStandardStream(file) || QelFmDir::exists(file, 0x8100)) return true;
    std::cout << "\n\n *** INVALID FILE: The file " << file << " doesn't exist."
              << "\n Please insure the file and the directory are specified correctly.";
    return false;
}

}  // namespace

int runDiffCommand(int argc, char* argv[]) {
    // -v counts only as the very first word; the rest then reads as if it were not there.
    const bool verbose = argumentIs(argv[1], "-v");
    if (verbose) {
        --argc;
        ++argv;
        if (argc < 3) printUsage();
    }
    int n = 0;
    bool ignoreComments = false;
    bool ignoreOrder = false;
    std::vector<const char*> ignoreList;

    if (argumentIs(argv[1], "-c") || argumentIs(argv[2], "-c")) {
        ignoreComments = true;
        ++n;
    }
    if (argumentIs(argv[1], "-o") || argumentIs(argv[2], "-o")) {
        ignoreOrder = true;
        ++n;
    }
    // The options may leave no room for two files (-c a.xml).
    if (argc < 3 + n) printUsage();
    if (argc > 3 + n) {
        if (!argumentIs(argv[3 + n], "-i")) printUsage();
        for (int i = 4 + n; i < argc; ++i) ignoreList.push_back(argv[i]);
    }
    if (!fileExists(argv[1 + n]) || !fileExists(argv[2 + n])) return 2;
    if (namesStandardStream(argv[1 + n]) && namesStandardStream(argv[2 + n])) {
        std::cout << "\n\n *** INVALID FILE: Standard input (-) can be only one of the two files."
                  << "\n Please insure that the other file is named by its path.";
        return 2;
    }

    const I18NString original(argv[1 + n], I18NGetPlatformDefaultEncoding(), -1, nullptr, nullptr);
    const I18NString compare(argv[2 + n], I18NGetPlatformDefaultEncoding(), -1, nullptr, nullptr);
    Quennel quennel;
    quennel.setIgnoreComments(ignoreComments);
    quennel.setIgnoreOrder(ignoreOrder);
    quennel.setVerbose(verbose);
    return quennel.diffFiles(&original, &compare, ignoreList.empty() ? nullptr : &ignoreList);
}

#include "app/DiffCommand.h"

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/EntryPoint.h"
#include "app/Usage.h"
#include "compare/DifferenceJson.h"
#include "compare/Quennel.h"
#include "output/Selector.h"
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

enum class Report { Plain, First, List, Json };

struct DiffArguments {
    Report report = Report::Plain;
    bool ignoreComments = false;
    bool ignoreOrder = false;
    const char* original = nullptr;
    const char* compare = nullptr;
    std::vector<const char*> ignoreList;
};

// Shows the usage text (and ends the process) when the words do not make a diff.
DiffArguments readArguments(int argc, char* argv[]) {
    DiffArguments args;
    // -v, -l and -j count only as the very first word; the rest then reads as if it were not
    // there.
    if (argumentIs(argv[1], "-v"))
        args.report = Report::First;
    else if (argumentIs(argv[1], "-l"))
        args.report = Report::List;
    else if (argumentIs(argv[1], "-j"))
        args.report = Report::Json;
    if (args.report != Report::Plain) {
        --argc;
        ++argv;
        if (argc < 3) printUsage();
    }
    int n = 0;
    if (argumentIs(argv[1], "-c") || argumentIs(argv[2], "-c")) {
        args.ignoreComments = true;
        ++n;
    }
    if (argumentIs(argv[1], "-o") || argumentIs(argv[2], "-o")) {
        args.ignoreOrder = true;
        ++n;
    }
    // The options may leave no room for two files (-c a.xml).
    if (argc < 3 + n) printUsage();
    if (argc > 3 + n) {
        if (!argumentIs(argv[3 + n], "-i")) printUsage();
        for (int i = 4 + n; i < argc; ++i) args.ignoreList.push_back(argv[i]);
    }
    args.original = argv[1 + n];
    args.compare = argv[2 + n];
    return args;
}

int diff(const DiffArguments& args, Quennel& quennel) {
    // A malformed selector is refused before any file is read.
    if (!parseSelectors(args.ignoreList)) return 2;
    if (!fileExists(args.original) || !fileExists(args.compare)) return 2;
    if (namesStandardStream(args.original) && namesStandardStream(args.compare)) {
        std::cout << "\n\n *** INVALID FILE: Standard input (-) can be only one of the two files."
                  << "\n Please insure that the other file is named by its path.";
        return 2;
    }
    const I18NString original(args.original, I18NGetPlatformDefaultEncoding(), -1, nullptr, nullptr);
    const I18NString compare(args.compare, I18NGetPlatformDefaultEncoding(), -1, nullptr, nullptr);
    quennel.setIgnoreComments(args.ignoreComments);
    quennel.setIgnoreOrder(args.ignoreOrder);
    switch (args.report) {
        case Report::First:
            quennel.setListing(Quennel::Listing::First);
            break;
        case Report::List:
        case Report::Json:
            quennel.setListing(Quennel::Listing::All);
            break;
        default:
            break;
    }
    return quennel.diffFiles(&original, &compare,
                             args.ignoreList.empty() ? nullptr : &args.ignoreList);
}

// What a failed run printed, without its progress lines.
std::string failureText(const std::string& printed) {
    std::istringstream lines(printed);
    std::string kept, line;
    while (std::getline(lines, line)) {
        if (line.rfind("Parsing ", 0) == 0 || line.rfind("Diffing ", 0) == 0) continue;
        kept += line + "\n";
    }
    const std::size_t first = kept.find_first_not_of(" \n");
    const std::size_t last = kept.find_last_not_of(" \n");
    return first == std::string::npos ? "" : kept.substr(first, last - first + 1);
}

}  // namespace

bool wantsJson(int argc, char* argv[]) { return argc > 1 && argumentIs(argv[1], "-j"); }

int runDiffCommand(int argc, char* argv[]) {
    const DiffArguments args = readArguments(argc, argv);
    Quennel quennel;
    if (args.report != Report::Json) return diff(args, quennel);

    // Everything the run would print goes into the report, or nowhere.
    std::ostringstream printed;
    std::streambuf* const console = std::cout.rdbuf(printed.rdbuf());
    const int result = diff(args, quennel);
    std::cout.rdbuf(console);
    std::cout << differencesAsJson(result, args.original, args.compare, quennel.differences(),
                                   result == 2 ? failureText(printed.str()) : std::string())
              << std::flush;
    return result;
}

#include "app/EntryPoint.h"

#include <csignal>
#include <iostream>

#include "app/DiffCommand.h"
#include "app/GitCommand.h"
#include "app/RemoveCommand.h"
#include "app/Usage.h"
#include "support/ControlEscaper.h"
#include "support/Platform.h"

namespace {

char16_t foldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

}  // namespace

int selectAction(int argc, char* argv[]) {
    if (argc == 2) {
        const I18NString only(argv[1], nullptr, -1, nullptr, nullptr);
        for (const char* help : {"--help", "-h"})
            if (compareNoCase(only, I18NString(help, nullptr, -1, nullptr, nullptr)) == 0)
                return ActionHelp;
        if (compareNoCase(only, I18NString("--version", nullptr, -1, nullptr, nullptr)) == 0)
            return ActionVersion;
    }
    if (argc < 3) return ActionUsage;
    const I18NString first(argv[1], nullptr, -1, nullptr, nullptr);
    if (compareNoCase(first, I18NString("--git", nullptr, -1, nullptr, nullptr)) == 0)
        return ActionGit;
    const I18NString remove("-r", nullptr, -1, nullptr, nullptr);
    return compareNoCase(first, remove) == 0 ? ActionRemove : ActionDiff;
}

int compareNoCase(const I18NString& a, const I18NString& b) {
    const char16_t* x = a.getExternalBuffer();
    const char16_t* y = b.getExternalBuffer();
    for (;; ++x, ++y) {
        const char16_t fx = foldAscii(*x);
        const char16_t fy = foldAscii(*y);
        if (fx != fy) return fx < fy ? -1 : 1;
        if (fx == 0) return 0;
    }
}

int runMain(int argc, char* argv[]) {
    const int action = selectAction(argc, argv);
    switch (action) {
        case ActionHelp:
            printHelp();
            return 0;
        case ActionVersion:
            printVersion();
            return 0;
        case ActionGit:
            return runGitCommand(argc, argv);
        case ActionUsage:
            printUsage();
        case ActionDiff: {
            // -j prints one JSON object and nothing else.
            if (wantsJson(argc, argv)) return runDiffCommand(argc, argv);
            const int r = runDiffCommand(argc, argv);
            if (r == 0)
                std::cout << "\n ** Files are the same";
            else if (r == 1)
                std::cout << "\n ** Files are NOT the same";
            else
                std::cout << "\n *** Failed to diff files";
            std::cout << "\n\n";
            return r;
        }
        case ActionRemove: {
            // As a filter, standard output carries the document: the messages go to standard
            // error, in this one case.
            const bool filter = namesStandardStream(argv[removeFileArgument(argc, argv)]);
            if (filter) {
                std::signal(SIGPIPE, SIG_IGN);  // a reader that went away is a failed write
                std::cout.flush();
                // Never destroyed: std::cout is flushed after every static object is gone.
                std::cout.rdbuf(new ControlEscaper(std::cerr.rdbuf()));
            }
            const int code = (filter ? runRemoveFilter(argc, argv) : runRemoveCommand(argc, argv)) ? 1 : 2;
            std::cout << (code == 1 ? "\n ** Removing elements was successful."
                                    : "\n *** Failed to remove elements from file.")
                      << "\n\n";
            return code;
        }
        default:
            std::cout << "\n *** ERROR: switch( action ) is recieved by default in main()." << "\n\n";
            return 2;
    }
}

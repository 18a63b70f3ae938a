#include "app/GitCommand.h"

#include <cstring>
#include <iostream>
#include <string>

#include "app/Usage.h"
#include "compare/Quennel.h"

namespace {

// git's name for the side that does not exist (a new or a deleted file).
bool isAbsent(const char* file) { return std::strcmp(file, "/dev/null") == 0; }

}  // namespace

int runGitCommand(int argc, char* argv[]) {
    // argv[1] is --git.
    if (argc == 3) {
        // An unmerged path: git has no two versions to give.
        std::cout << "\n ** unmerged " << argv[2] << "\n\n";
        return 0;
    }
    if (argc != 9 && argc != 11) printUsage();
    const std::string oldName = std::string("a/") + argv[2];
    const std::string newName = std::string("b/") + (argc == 11 ? argv[9] : argv[2]);
    const char* oldFile = argv[3];
    const char* newFile = argv[6];
    if (isAbsent(oldFile) || isAbsent(newFile)) {
        std::cout << (isAbsent(oldFile) ? "\n ** new file " + newName
                                        : "\n ** deleted file " + oldName)
                  << "\n\n";
        return 0;
    }
    const I18NString original(oldFile, I18NGetPlatformDefaultEncoding(), -1, nullptr, nullptr);
    const I18NString compare(newFile, I18NGetPlatformDefaultEncoding(), -1, nullptr, nullptr);
    Quennel quennel;
    quennel.setListing(Quennel::Listing::All);
    quennel.setDisplayNames(oldName, newName);
    const int result = quennel.diffFiles(&original, &compare, nullptr);
    if (result == 0)
        std::cout << "\n ** Files are the same";
    else if (result == 1)
        std::cout << "\n ** Files are NOT the same";
    else
        std::cout << "\n *** Failed to diff files";
    std::cout << "\n\n" << std::flush;
    return result == 2 ? 2 : 0;
}

#include "app/RemoveCommand.h"

#include <iostream>
#include <vector>

#include "output/DOMElementRemover.h"
#include "support/QelFmFile.h"

bool runRemoveCommand(int argc, char* argv[]) {
    const char* file = argv[2];
    if (!QelFmDir::exists(file, 0x8100)) {
        std::cout << "\n\n *** INVALID FILE: The file " << file << " doesn't exist."
                  << "\n Please insure the file exist and try again.";
        return false;
    }
    if (!QelFmDir::exists(file, 0x8180)) {
        std::cout << "\n\n *** FILE ACCESS: The file " << file << " is set to be read-only."
                  << "\n Please insure that the file has write access.";
        return false;
    }
    const I18NString path(file, I18NGetPlatformDefaultEncoding(), -1, nullptr, nullptr);
    std::vector<const char*> elementNames(argv + 3, argv + argc);
    DOMElementRemover remover;
    return remover.removeElementsFromFile(path, elementNames);
}

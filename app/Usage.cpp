#include "app/Usage.h"

#include <cstdlib>
#include <iostream>

#include "support/Platform.h"

void printUsage() {
    std::cout << "\n\n";
    std::cout << "  Usage: { -r file element... } | { [-c] [-o] file1 file2 [-i element...] } \n\n";
    std::cout << "  This utility can diff two XML files with the option to ignore comments (-c)\n";
    std::cout << "  and/or  ignore specific elements (-i). In addition, using the (-r) option,\n";
    std::cout << "  the utility is able to remove specific elements from an xml file. The \n";
    std::cout << "  errorlevel will be set to the following:";
    std::cout << " 0 if files are not different (in the -r option if the file didn't change) \n";
    std::cout << " 1 if files are different (in the -r option if the file has changed)\n";
    std::cout << "-1 if failed to diff the files (in the -r option if fails to remove element(s) )";
    std::cout << "  \n\n";
    std::cout << "  options:";
    std::cout << "\n";
    std::cout << "  -i" << "\t" << "diff suboption, igonre particular elements when diffing two files.\n";
    std::cout << "  -c" << "\t" << "diff suboption, igonre comments when diffing two files.\n";
    std::cout << "  -o" << "\t" << "diff suboption, igonre elements order when they are on the same level.\n";
    std::cout << "  -r" << "\t" << "Remove elements from file. errorlevel will be set to the following: \n";
    std::cout << "\t\t" << " 0 if no elements were found, file stayed unchanged \n";
    std::cout << "\t\t" << " 1 if any element is found and removed, file has changed \n";
    std::cout << "\t\t" << "-1 if failed to remove the elements";
    std::cout << "\n\n";
    std::cout << " Examples:\n\n";
    const char* trailer = "  errorlevel is 0 if not different, 1 if different, -1 if fail\n\n";
    std::cout << "  W:\\m1.xml W:\\m2.xml" << "\t" << "diff the two files\n" << trailer;
    std::cout << "  W:\\m1.xml W:\\m2.xml -i locale" << "\t" << "diff the two files and ignores locale.\n" << trailer;
    std::cout << "  -c W:\\m1.xml W:\\m2.xml" << "\t" << "diff the two files and ignores comments.\n" << trailer;
    std::cout << "  -o W:\\m1.xml W:\\m2.xml" << "\t" << "diff the two files and ignores elements order.\n" << trailer;
    std::cout << "  -r W:\\model.xml lastChanged locale" << "\t" << "remove lastChanged and locale elements.\n" << trailer;
    std::cout << "     press any key to exit...";
    std::cout.flush();
    waitForKey();
    std::cout << std::endl;
    std::exit(1);
}

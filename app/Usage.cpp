#include "app/Usage.h"

#include <cstdlib>
#include <iostream>
#include <ostream>

#include <xercesc/util/XercesVersion.hpp>

#include "support/Platform.h"

namespace {

void writeUsageText(std::ostream& out) {
    out << "\n\n";
    out << "  Usage: { -r file element... } | { [-c] [-o] file1 file2 [-i element...] } \n\n";
    out << "  This utility can diff two XML files with the option to ignore comments (-c)\n";
    out << "  and/or  ignore specific elements (-i). In addition, using the (-r) option,\n";
    out << "  the utility is able to remove specific elements from an xml file. The \n";
    out << "  errorlevel will be set to the following:";
    out << " 0 if files are not different (in the -r option if the file didn't change) \n";
    out << " 1 if files are different (in the -r option if the file has changed)\n";
    out << "-1 if failed to diff the files (in the -r option if fails to remove element(s) )";
    out << "  \n\n";
    out << "  options:";
    out << "\n";
    out << "  -i" << "\t" << "diff suboption, igonre particular elements when diffing two files.\n";
    out << "  -c" << "\t" << "diff suboption, igonre comments when diffing two files.\n";
    out << "  -o" << "\t" << "diff suboption, igonre elements order when they are on the same level.\n";
    out << "  -r" << "\t" << "Remove elements from file. errorlevel will be set to the following: \n";
    out << "\t\t" << " 0 if no elements were found, file stayed unchanged \n";
    out << "\t\t" << " 1 if any element is found and removed, file has changed \n";
    out << "\t\t" << "-1 if failed to remove the elements";
    out << "\n\n";
    out << " Examples:\n\n";
    const char* trailer = "  errorlevel is 0 if not different, 1 if different, -1 if fail\n\n";
    out << "  W:\\m1.xml W:\\m2.xml" << "\t" << "diff the two files\n" << trailer;
    out << "  W:\\m1.xml W:\\m2.xml -i locale" << "\t" << "diff the two files and ignores locale.\n" << trailer;
    out << "  -c W:\\m1.xml W:\\m2.xml" << "\t" << "diff the two files and ignores comments.\n" << trailer;
    out << "  -o W:\\m1.xml W:\\m2.xml" << "\t" << "diff the two files and ignores elements order.\n" << trailer;
    out << "  -r W:\\model.xml lastChanged locale" << "\t" << "remove lastChanged and locale elements.\n" << trailer;
}

}  // namespace

void printUsage() {
    writeUsageText(std::cout);
    std::cout << "     press any key to exit...";
    std::cout.flush();
    waitForKey();
    std::cout << std::endl;
    std::exit(1);
}

void printHelp() {
    writeUsageText(std::cout);
    std::cout << "  Added since:\n";
    std::cout << "  -v" << "\t" << "first word only: when the files differ, also say where.\n";
    std::cout << "  -l" << "\t" << "first word only: list every difference, where it is in both files.\n";
    std::cout << "  -j" << "\t" << "first word only: the verdict and that list as one JSON object.\n";
    std::cout << "  -" << "\t" << "as a file of a diff: read that document from standard input.\n";
    std::cout << "  -r -k file element..." << "\t" << "keep: cut the matches out of the file's bytes, change nothing else.\n";
    std::cout << "  -r -n file element..." << "\t" << "dry run: show every match where it stands, write nothing.\n";
    std::cout << "  -r [-k] - element..." << "\t" << "filter: standard input to standard output, messages to standard error.\n";
    std::cout << "  selectors" << "\t" << "after -i and after -r's file: name, *, @name, @*, a/b, /a/b, a/@name.\n";
    std::cout << "  -r" << "\t" << "never removes the document element (the file would not be XML): exit 2, file untouched.\n";
    std::cout << "  --git PATH OLD-FILE OLD-HEX OLD-MODE NEW-FILE NEW-HEX NEW-MODE\n";
    std::cout << "\t" << "git's diff driver: the list for a/PATH and b/PATH; exit 0 unless it failed.\n";
    std::cout << "  --version" << "\t" << "print the version and exit.\n";
    std::cout << "  --help, -h" << "\t" << "print this text and exit.\n";
    std::cout << "\n  See quennel(1) for the whole story.\n";
    std::cout.flush();
}

void printVersion() {
    std::cout << "quennel " << QUENNEL_VERSION << " (Xerces-C " << XERCES_FULLVERSIONDOT << ")\n";
    std::cout.flush();
}

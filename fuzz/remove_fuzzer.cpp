// Removing any element name, taken from the document or from the input bytes, from a tree that
// is never saved (as a diff does) succeeds and leaves no element of that name, inside entity
// references too.
#include <algorithm>
#include <cstring>

#include "FuzzSupport.h"
#include "output/DOMElementRemover.h"

namespace {

// The name after the first '<', as far as the next blank, '/' or '>'; and the last bytes.
std::vector<std::string> namesInBytes(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> names;
    const auto open = bytes.find('<');
    if (open != std::string::npos) {
        const auto end = bytes.find_first_of(std::string(" \t\r\n/>\0", 7), open + 1);
        names.push_back(bytes.substr(open + 1, std::min<std::size_t>(end, open + 33) - open - 1));
    }
    std::string tail = bytes.substr(size > 6 ? size - 6 : 0);
    tail.erase(std::remove(tail.begin(), tail.end(), '\0'), tail.end());
    names.push_back(tail);
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Loaded loaded = loadBytes("first.xml", data, size);
    if (!loaded.doc) return 0;
    std::vector<std::string> names = elementNames(loaded.doc, false);
    if (names.size() > 6) names.resize(6);
    for (const auto& name : namesInBytes(data, size)) names.push_back(name);
    names.push_back("*");

    xercesc::DOMNode* root = loaded.doc;
    for (const auto& name : names) {
        DOMElementRemover remover;
        const bool removed = remover.removeElementsFromDocument(root, {name.c_str()});
        FUZZ_CHECK(removed, "removing an element name failed");
        FUZZ_CHECK(countElements(root, name) == 0, "an element of a removed name is left");
    }
    writeDocument(root);
    return 0;
}

// Removing any element name, taken from the document or from the input bytes, from a tree that
// is never saved (as a diff does) succeeds and leaves no element of that name, inside entity
// references too. Removing one name with -k leaves the file's bytes less some ranges (nothing
// added or changed) and a document that diffs the same as the rewrite. Removing one name while
// reading writes the very bytes that the tree's removal writes, or fails and leaves the file.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "FuzzSupport.h"
#include "output/ByteKeepingRemover.h"
#include "output/DOMElementRemover.h"
#include "output/RewritingRemover.h"
#include "output/Selector.h"
#include "support/LockedFile.h"

namespace {

std::string readAll(const std::string& path) {
    std::string bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            bytes.append(buffer, got);
        std::fclose(f);
    }
    return bytes;
}

// Whether part is whole with some ranges taken out.
bool isWholeLessRanges(const std::string& part, const std::string& whole) {
    std::size_t at = 0;
    for (const char c : part) {
        while (at < whole.size() && whole[at] != c) ++at;
        if (at++ >= whole.size()) return false;
    }
    return true;
}

// Removes the element name with -k from a file of the input's bytes; checks the result against
// the rewrite's.
void checkKeepingRemoval(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const Loaded original = loadBytes("keep.xml", data, size);
    if (!original.doc) return;
    xercesc::DOMNode* rewritten = original.doc;
    DOMElementRemover rewrite;
    if (!rewrite.removeElementsFromDocument(rewritten, {name.c_str()})) return;
    const std::string rewrittenBytes = writeDocument(rewritten);

    const std::string path = fuzzPath("keep.xml");
    LockedFile file;
    if (file.open(path.c_str()) != LockedFile::Opened) return;
    ByteKeepingRemover keeping;
    // A refusal (a match from an entity, the document element, an encoding) leaves the file.
    const bool removed = keeping.removeFromFile(I18NString(path.c_str(), nullptr, -1, nullptr, nullptr),
                                                {name.c_str()}, file);
    file.close();
    const std::string kept = readAll(path);
    const std::string before(reinterpret_cast<const char*>(data), size);
    if (!removed) {
        FUZZ_CHECK(kept == before, "a refused -k removal changed the file");
        return;
    }
    FUZZ_CHECK(isWholeLessRanges(kept, before), "-k changed or added bytes");
    const Loaded rewrittenDoc = loadBytes("rewritten.xml", rewrittenBytes);
    // A removal may leave a document its DTD no longer allows; the rewrite's own faults are
    // the round-trip target's.
    if (!rewrittenDoc.doc) return;
    const Loaded keptDoc = loadBytes("kept.xml", kept);
    FUZZ_CHECK(keptDoc.doc, "the file that -k wrote does not load, the rewritten one does");
    FUZZ_CHECK(sameDocuments(keptDoc.doc, rewrittenDoc.doc, false, false),
               "-k and the rewrite give different documents");
}

// Removes the element name from a file of the input's bytes while reading it; checks the file
// against the tree's removal written out.
void checkStreamedRemoval(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const Loaded original = loadBytes("stream.xml", data, size);
    if (!Selector::parse(name.c_str(), nullptr)) return;  // the command refuses it first
    if (!original.doc || countElements(original.doc, name) == 0) return;
    xercesc::DOMNode* rewritten = original.doc;
    DOMElementRemover rewrite;
    const bool treeRemoved = rewrite.removeElementsFromDocument(rewritten, {name.c_str()});

    const std::string path = fuzzPath("stream.xml");
    LockedFile file;
    if (file.open(path.c_str()) != LockedFile::Opened) return;
    RewritingRemover streaming;
    const bool removed = streaming.removeFromFile(
        I18NString(path.c_str(), nullptr, -1, nullptr, nullptr), {name.c_str()}, file);
    file.close();
    const std::string written = readAll(path);
    const std::string before(reinterpret_cast<const char*>(data), size);
    if (!removed) {
        FUZZ_CHECK(written == before, "a failed removal while reading changed the file");
        return;
    }
    FUZZ_CHECK(treeRemoved, "a removal while reading succeeded where the tree's fails");
    FUZZ_CHECK(written == writeDocument(rewritten),
               "a removal while reading and the tree's removal write different bytes");
}

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

    // An element below the document element, as -k never removes that one.
    if (names.size() > 1) checkKeepingRemoval(names[1], data, size);
    for (std::size_t i = 0; i < names.size() && i < 3; ++i) checkStreamedRemoval(names[i], data, size);

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

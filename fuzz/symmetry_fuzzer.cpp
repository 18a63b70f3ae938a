// Two documents from one input (split at the first 0 byte, else in the middle): swapping them
// never changes the verdict, a pair that is the same stays the same when comments or order are
// ignored as well, and the tree and the event comparison always agree. The list of differences
// is empty exactly when the verdict is "same", starts with what -v reports, and swapping the
// files swaps its sides. Comparing while both files are read gives the verdict that comparing
// their whole logs gives. Under -i (selectors made from the names in the first document), the
// events left out while reading give the verdict that removing from the trees gives.
#include <algorithm>
#include <cstring>

#include "FuzzSupport.h"
#include "output/DOMElementRemover.h"
#include "output/Selector.h"

namespace {

// A few command lines' worth of selectors, from the names in doc.
std::vector<std::vector<std::string>> selectorWords(xercesc::DOMNode* doc, std::size_t seed) {
    const std::vector<std::string> names = elementNames(doc, false);
    if (names.empty()) return {};
    const std::string& some = names[seed % names.size()];
    const std::string& other = names[(seed / 7) % names.size()];
    const std::string& root = names.front();
    return {{some},
            {"@*"},
            {other + "/" + some, "@" + some},
            {"/" + root + "/" + other, some + "/@*"},
            {"*/" + some, other}};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const void* zero = size ? std::memchr(data, 0, size) : nullptr;
    const std::size_t split =
        zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - data) : size / 2;
    const std::size_t secondStart = zero ? split + 1 : split;
    const std::uint8_t* secondData = data + secondStart;
    const std::size_t secondSize = size - secondStart;
    const Loaded a = loadBytes("first.xml", data, split);
    if (!a.doc) return 0;
    const Loaded b = loadBytes("second.xml", secondData, secondSize);
    if (!b.doc) return 0;

    bool same[2][2];  // [comments][order]
    for (const bool comments : {false, true}) {
        const LoadedEvents ea = loadEventBytes("first.xml", data, split, comments);
        const LoadedEvents eb = loadEventBytes("second.xml", secondData, secondSize, comments);
        FUZZ_CHECK(ea.log && eb.log, "files that load as trees fail to load as events");
        for (const bool order : {false, true}) {
            const bool tree = sameDocuments(a.doc, b.doc, comments, order);
            same[comments][order] = tree;
            FUZZ_CHECK(tree == sameDocuments(b.doc, a.doc, comments, order),
                       "swapping the two trees changed the verdict");
            const bool events = sameEvents(*ea.log, *eb.log, order);
            FUZZ_CHECK(events == sameEvents(*eb.log, *ea.log, order),
                       "swapping the two event logs changed the verdict");
            FUZZ_CHECK(tree == events, "the tree and the event comparison disagree");
            std::vector<std::string> forward = listDifferences(*ea.log, *eb.log, order);
            if (!order) {
                // Children held whole as the diff holds them, and compared inside whenever
                // the files part in them, as the diff does with children too large to hold.
                for (const std::size_t most : {kMostPerChild, std::size_t{0}}) {
                    std::vector<std::string> streamed;
                    FUZZ_CHECK(events == sameStreamed(data, split, secondData, secondSize, comments,
                                                      nullptr, &streamed, most),
                               "comparing while reading disagrees with comparing the logs");
                    // Read stretch by stretch, the list may pair otherwise than the whole logs
                    // do, but is empty exactly when the files are the same, and symmetric.
                    FUZZ_CHECK(streamed.empty() == events,
                               "the list made while reading is empty but the files differ, or not");
                    std::vector<std::string> first;
                    sameStreamed(data, split, secondData, secondSize, comments, nullptr, &first,
                                 most, true);
                    FUZZ_CHECK(first.size() == (events ? 0u : 1u) &&
                                   (events || first[0] == streamed[0]),
                               "-v while reading is not the first of the list made while reading");
                    std::vector<std::string> swapped;
                    sameStreamed(secondData, secondSize, data, split, comments, nullptr, &swapped,
                                 most);
                    for (std::string& line : swapped) line = swapSides(line);
                    std::sort(streamed.begin(), streamed.end());
                    std::sort(swapped.begin(), swapped.end());
                    FUZZ_CHECK(streamed == swapped,
                               "swapping the files changed the list made while reading");
                }
            }
            std::vector<std::string> backward = listDifferences(*eb.log, *ea.log, order);
            FUZZ_CHECK(forward.empty() == tree, "the list is empty but the files differ, or not");
            const std::vector<std::string> first = listDifferences(*ea.log, *eb.log, order, 1);
            FUZZ_CHECK(first.size() == (tree ? 0u : 1u) && (tree || first[0] == forward[0]),
                       "the first difference (-v) is not the first of the list (-l)");
            for (std::string& line : backward) line = swapSides(line);
            std::sort(forward.begin(), forward.end());
            std::sort(backward.begin(), backward.end());
            FUZZ_CHECK(forward == backward, "swapping the files changed the list");
        }
    }
    for (const std::vector<std::string>& words : selectorWords(a.doc, size)) {
        std::vector<const char*> pointers;
        for (const std::string& w : words) pointers.push_back(w.c_str());
        const std::optional<Selectors> selectors = parseSelectors(pointers);
        if (!selectors) continue;  // a name with '@' or '/' in it makes no selector
        for (const bool comments : {false, true}) {
            const Loaded ta = loadBytes("first.xml", data, split);
            const Loaded tb = loadBytes("second.xml", secondData, secondSize);
            FUZZ_CHECK(ta.doc && tb.doc, "files that loaded once fail to load again");
            xercesc::DOMNode* ra = ta.doc;
            xercesc::DOMNode* rb = tb.doc;
            DOMElementRemover remover;
            FUZZ_CHECK(remover.removeElementsFromDocument(ra, pointers) &&
                           remover.removeElementsFromDocument(rb, pointers),
                       "removing what -i selects from a tree failed");
            const LoadedEvents ea = loadEventBytes("first.xml", data, split, comments, &*selectors);
            const LoadedEvents eb =
                loadEventBytes("second.xml", secondData, secondSize, comments, &*selectors);
            FUZZ_CHECK(ea.log && eb.log,
                       "files that load as trees fail to load as events under -i");
            for (const bool order : {false, true}) {
                const bool tree = sameDocuments(ra, rb, comments, order);
                const bool events = sameEvents(*ea.log, *eb.log, order);
                FUZZ_CHECK(tree == events, "the tree and the event comparison disagree under -i");
                if (!order)
                    FUZZ_CHECK(events == sameStreamed(data, split, secondData, secondSize, comments,
                                                      &*selectors),
                               "comparing while reading disagrees with the logs under -i");
            }
        }
    }
    for (const bool comments : {false, true})
        FUZZ_CHECK(!same[comments][false] || same[comments][true],
                   "the same in order but different when order is ignored");
    for (const bool order : {false, true})
        FUZZ_CHECK(!same[false][order] || same[true][order],
                   "the same with comments but different when comments are ignored");
    return 0;
}

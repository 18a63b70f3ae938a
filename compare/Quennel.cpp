#include "compare/Quennel.h"

#include <exception>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

#include <xercesc/parsers/XercesDOMParser.hpp>

#include "compare/BackgroundLoad.h"
#include "compare/DifferenceList.h"
#include "compare/EventComparison.h"
#include "input/QelEventParser.h"
#include "input/DocumentLoader.h"
#include "input/QelDOMParser.h"
#include "input/XercesLibrary.h"
#include "output/Selector.h"
#include "support/FailureHandlers.h"
#include "support/Platform.h"

using namespace xercesc;

std::string Quennel::shownName(const I18NString& path, int side) const {
    if (!displayNames[side].empty()) return displayNames[side];
    return path.toBytes(nullptr, nullptr, nullptr, nullptr);
}

namespace {

// What removing the ignored elements from a tree reports, quietly: the selectors that selected
// nothing, and whether the tree changed at all.
void reportIgnored(const ElementNames& words, const std::vector<bool>& found) {
    bool changed = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (found[i])
            changed = true;
        else
            std::cout << "\n\n The element " << words[i] << " was not found.";
    }
    if (!changed) std::cout << "\n\n The root node has not changed. Elements don't exist.";
}

}  // namespace

bool Quennel::initializeXerces() { return ::initializeXerces(); }
bool Quennel::terminateXerces() { return ::terminateXerces(); }

int Quennel::diffFiles(const I18NString* original, const I18NString* compare,
                       const ElementNames* ignoreList) {
    XercesDOMParser* originalParser = nullptr;
    XercesDOMParser* compareParser = nullptr;
    QelEventParser* originalEvents = nullptr;
    QelEventParser* compareEvents = nullptr;
    // Unless differences are listed, the files are read as event logs, what -i selects left out
    // as they are read: no trees.
    ignoring.clear();
    // -v reads files it can read twice as events too, and builds trees only to place the first
    // difference once the files are found to differ.
    const bool placeLater = listing == Listing::First &&
                            !namesStandardStream(original->getExternalBuffer()) &&
                            !namesStandardStream(compare->getExternalBuffer());
    bool asEvents = (listing == Listing::None || placeLater) && (!ignoreList || !ignoreList->empty());
    for (std::size_t i = 0; asEvents && ignoreList && i < ignoreList->size(); ++i) {
        std::optional<Selector> selector = Selector::parse((*ignoreList)[i], nullptr);
        if (selector)
            ignoring.push_back(std::move(*selector));
        else
            asEvents = false;  // the tree path reports it as selecting nothing
    }
    int result = 2;
    streamedResult = -1;
    listed.clear();
    const bool completed = runGuarded([&] {
        if (!initializeXerces()) throw "Error while initializing Xerces";
        prepareParsers(&originalParser, &compareParser);  // listing only
        if (asEvents) {
            originalEvents = new QelEventParser(ignoreComments, &ignoring);
            compareEvents = new QelEventParser(ignoreComments, &ignoring);
        }
        std::cout << std::endl;
        std::cout << "Parsing " << shownName(*original, 0) << std::endl;
        // Both files load at once; what the second load prints appears after the first, and
        // not at all when the first fails.
        if (asEvents && !ignoreOrder && compareWhileReading(original, compare)) {
            // compared as the files were read
        } else if (asEvents) {
            BackgroundLoad second([&](std::ostream& out) {
                loadEvents(compare, &compareEvents, validateSchema, ignoreComments, out);
            });
            loadEvents(original, &originalEvents, validateSchema, ignoreComments, std::cout);
            std::cout << "Parsing " << shownName(*compare, 1) << std::endl;
            second.finish();
            ignoredFound[0] = originalEvents->selectorsFound();
            ignoredFound[1] = compareEvents->selectorsFound();
        } else {
            BackgroundLoad second([&](std::ostream& out) {
                compareRoot = loadDocument(compare, &compareParser, validateSchema, out);
            });
            originalRoot = loadDocument(original, &originalParser, validateSchema);
            if (!originalRoot) throw "The root node of the original file is NULL.";
            std::cout << "Parsing " << shownName(*compare, 1) << std::endl;
            second.finish();
            if (!compareRoot) throw "The root node of the compare file is NULL.";
            trimTrees(ignoreList);
        }
        if (asEvents && ignoreList) {
            reportIgnored(*ignoreList, ignoredFound[0]);
            reportIgnored(*ignoreList, ignoredFound[1]);
        }
        std::cout << std::endl;
        std::cout << "Diffing " << shownName(*original, 0) << " Vs. "
                  << shownName(*compare, 1) << std::endl;
        if (streamedResult >= 0) {
            result = streamedResult;
        } else if (asEvents) {
            const EventLog& a = originalEvents->events();
            const EventLog& b = compareEvents->events();
            const bool same = ignoreOrder ? eventLogsEqualUnordered(a, b, folding())
                                          : eventLogsEqual(a, b, folding());
            result = same ? 0 : 1;
        } else {
            result = compareDocuments();
        }
        if (result == 1 && asEvents && placeLater)
            placeFirstDifference(original, &originalParser, compare, &compareParser, ignoreList);
        else if (result == 1 && listing != Listing::None)
            reportDifferences(*original, originalParser, *compare, compareParser);
    });
    if (!completed) result = 2;
    delete originalParser;
    delete compareParser;
    delete originalEvents;
    delete compareEvents;
    originalRoot = nullptr;
    compareRoot = nullptr;
    if (!terminateXerces()) std::cout << "\n\n Warning: Error whild terminating Xerces.";
    return result;
}

void Quennel::trimTrees(const ElementNames* ignoreList) {
    if (ignoreList) {
        DOMElementRemover remover;
        remover.removeElementsFromDocument(originalRoot, *ignoreList);
        remover.removeElementsFromDocument(compareRoot, *ignoreList);
    }
    stripIgnorable(originalRoot);
    stripIgnorable(compareRoot);
}

void Quennel::placeFirstDifference(const I18NString* original, XercesDOMParser** originalParser,
                                   const I18NString* compare, XercesDOMParser** compareParser,
                                   const ElementNames* ignoreList) {
    // Quietly: everything the files had to say was said as they were first read, and a list
    // that cannot be built changes no verdict.
    std::ostringstream quiet;
    std::streambuf* const console = std::cout.rdbuf(quiet.rdbuf());
    bool found = false;
    try {
        BackgroundLoad second([&](std::ostream& out) {
            compareRoot = loadDocument(compare, compareParser, validateSchema, out);
        });
        originalRoot = loadDocument(original, originalParser, validateSchema, quiet);
        second.finish();
        if (originalRoot && compareRoot) {
            trimTrees(ignoreList);
            found = compareDocuments() == 1;  // unless a file changed since
        }
    } catch (...) {
        found = false;
    }
    std::cout.rdbuf(console);
    if (found) reportDifferences(*original, *originalParser, *compare, *compareParser);
}

bool Quennel::compareWhileReading(const I18NString* original, const I18NString* compare) {
    EventStream originalStream;
    EventStream compareStream;
    CaseFolding& fold = folding();  // made here: the comparing thread must not race to make it
    bool same = false;
    std::exception_ptr comparingFailed;
    std::thread comparing;
    try {
        comparing = std::thread([&] {
            try {
                same = eventStreamsEqual(originalStream, compareStream, fold);
            } catch (...) {
                comparingFailed = std::current_exception();
                // Keep both loads moving; the run fails after them.
                EventLog rest;
                while (originalStream.take(rest)) {
                }
                while (compareStream.take(rest)) {
                }
            }
        });
    } catch (const std::system_error&) {
        return false;  // no thread to be had: the files are compared after they are read
    }
    struct Join {
        std::thread& thread;
        ~Join() {
            if (thread.joinable()) thread.join();
        }
    } join{comparing};
    QelEventParser* originalParser = new QelEventParser(ignoreComments, &ignoring);
    QelEventParser* compareParser = new QelEventParser(ignoreComments, &ignoring);
    struct Owner {
        QelEventParser*& parser;
        ~Owner() { delete parser; }
    } ownOriginal{originalParser}, ownCompare{compareParser};
    BackgroundLoad second([&](std::ostream& out) {
        streamEvents(compare, &compareParser, validateSchema, ignoreComments, out, compareStream);
    });
    if (!second.running()) {
        // Read one after the other, the second would wait on the first's full buffer.
        compareStream.close();
        originalStream.close();
        return false;
    }
    streamEvents(original, &originalParser, validateSchema, ignoreComments, std::cout,
                 originalStream);
    std::cout << "Parsing " << shownName(*compare, 1) << std::endl;
    second.finish();
    comparing.join();
    comparing = std::thread();
    if (comparingFailed) std::rethrow_exception(comparingFailed);
    ignoredFound[0] = originalParser->selectorsFound();
    ignoredFound[1] = compareParser->selectorsFound();
    streamedResult = same ? 0 : 1;
    return true;
}

void Quennel::prepareParsers(XercesDOMParser** original, XercesDOMParser** compare) const {
    if (listing == Listing::None) return;
    for (XercesDOMParser** slot : {original, compare}) {
        if (*slot) continue;
        auto parser = std::make_unique<QelDOMParser>();
        parser->setRecordPositions(true);
        *slot = parser.release();  // the slot's owner deletes it, as any loaded parser
    }
}

void Quennel::reportDifferences(const I18NString& original, const XercesDOMParser* originalParser,
                                const I18NString& compare, const XercesDOMParser* compareParser) {
    const auto positionsOf = [](const XercesDOMParser* parser) -> const SourcePositions* {
        const auto* own = dynamic_cast<const QelDOMParser*>(parser);
        return own ? &own->positions() : nullptr;
    };
    std::string blocks;
    try {
        DifferenceList list(folding(), ignoreOrder);
        const std::vector<Difference> found =
            list.find(originalRoot, compareRoot,
                      listing == Listing::First ? 1 : std::numeric_limits<std::size_t>::max());
        if (found.empty()) return;
        SiblingPositions known;
        for (const Difference& d : found)
            listed.push_back(listDifference(d, positionsOf(originalParser),
                                            positionsOf(compareParser), &known));
        // Names as typed, like the progress lines.
        const std::string originalName = shownName(original, 0);
        const std::string compareName = shownName(compare, 1);
        if (listing == Listing::First) {
            blocks = describeDifference(listed.front(), "First difference", originalName, compareName);
        } else {
            for (std::size_t n = 0; n < listed.size(); ++n)
                blocks += describeDifference(listed[n], "Difference " + std::to_string(n + 1),
                                             originalName, compareName);
            blocks += listed.size() == 1 ? "\n ** 1 difference"
                                         : "\n ** " + std::to_string(listed.size()) + " differences";
        }
    } catch (...) {
        listed.clear();
        return;
    }
    std::cout << blocks;
}

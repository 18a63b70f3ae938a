#include "compare/Quennel.h"

#include <exception>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <system_error>
#include <thread>


#include "compare/BackgroundLoad.h"
#include "compare/DifferenceList.h"
#include "compare/EventComparison.h"
#include "input/QelEventParser.h"
#include "input/DocumentLoader.h"
#include "input/XercesLibrary.h"
#include "output/Selector.h"
#include "support/FailureHandlers.h"

using namespace xercesc;

std::string Quennel::shownName(const I18NString& path, int side) const {
    if (!displayNames[side].empty()) return displayNames[side];
    return path.toBytes(nullptr, nullptr, nullptr, nullptr);
}

namespace {

// What removing the ignored elements from a tree reports, quietly: the selectors that selected
// nothing, and whether the tree changed at all.
void reportIgnored(const ElementNames& words, const std::vector<bool>& wellFormed,
                   const std::vector<bool>& found) {
    if (words.empty()) {
        std::cout << "No Elements are specified to be removed.";
        return;
    }
    bool changed = false;
    // A malformed selector selects nothing; found holds the others, in order.
    for (std::size_t i = 0, k = 0; i < words.size(); ++i) {
        if (wellFormed[i] && found[k++])
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
    QelEventParser* originalEvents = nullptr;
    QelEventParser* compareEvents = nullptr;
    // The files are read as event logs, what -i selects left out as they are read: no trees.
    ignoring.clear();
    std::vector<bool> wellFormed;
    for (std::size_t i = 0; ignoreList && i < ignoreList->size(); ++i) {
        std::optional<Selector> selector = Selector::parse((*ignoreList)[i], nullptr);
        wellFormed.push_back(selector.has_value());
        if (selector) ignoring.push_back(std::move(*selector));
    }
    // A listing reads where each node stands too.
    const bool lists = listing != Listing::None;
    int result = 2;
    streamedResult = -1;
    listed.clear();
    listFailed = false;
    const bool completed = runGuarded([&] {
        if (!initializeXerces()) throw "Error while initializing Xerces";
        originalEvents = new QelEventParser(ignoreComments, &ignoring);
        compareEvents = new QelEventParser(ignoreComments, &ignoring);
        originalEvents->setRecordPositions(lists);
        compareEvents->setRecordPositions(lists);
        std::cout << std::endl;
        std::cout << "Parsing " << shownName(*original, 0) << std::endl;
        // Both files load at once; what the second load prints appears after the first, and
        // not at all when the first fails.
        if (!ignoreOrder && compareWhileReading(original, compare, lists)) {
            // compared as the files were read
        } else {
            BackgroundLoad second([&](std::ostream& out) {
                loadEvents(compare, &compareEvents, validateSchema, ignoreComments, out);
            });
            loadEvents(original, &originalEvents, validateSchema, ignoreComments, std::cout);
            std::cout << "Parsing " << shownName(*compare, 1) << std::endl;
            second.finish();
            ignoredFound[0] = originalEvents->selectorsFound();
            ignoredFound[1] = compareEvents->selectorsFound();
        }
        if (ignoreList) {
            reportIgnored(*ignoreList, wellFormed, ignoredFound[0]);
            reportIgnored(*ignoreList, wellFormed, ignoredFound[1]);
        }
        std::cout << std::endl;
        std::cout << "Diffing " << shownName(*original, 0) << " Vs. "
                  << shownName(*compare, 1) << std::endl;
        if (streamedResult >= 0) {
            result = streamedResult;
            if (result == 1 && lists) printListed(*original, *compare);
        } else {
            const EventLog& a = originalEvents->events();
            const EventLog& b = compareEvents->events();
            const bool same = ignoreOrder ? eventLogsEqualUnordered(a, b, folding())
                                          : eventLogsEqual(a, b, folding());
            result = same ? 0 : 1;
            if (!same && lists)
                reportDifferences(*original, a, *compare, b);
        }
    });
    if (!completed) result = 2;
    delete originalEvents;
    delete compareEvents;
    originalRoot = nullptr;
    compareRoot = nullptr;
    if (!terminateXerces()) std::cout << "\n\n Warning: Error whild terminating Xerces.";
    return result;
}

bool Quennel::compareWhileReading(const I18NString* original, const I18NString* compare,
                                  bool lists) {
    EventStream originalStream;
    EventStream compareStream;
    CaseFolding& fold = folding();  // made here: the comparing thread must not race to make it
    bool same = false;
    std::exception_ptr comparingFailed;
    std::thread comparing;
    try {
        comparing = std::thread([&] {
            try {
                if (lists)
                    same =
                        listWhileReading(originalStream, compareStream, fold,
                                         [this](const StreamedRest& s) { return listStretch(s); },
                                         listing == Listing::First);
                else
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
    originalParser->setRecordPositions(lists);
    compareParser->setRecordPositions(lists);
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

bool Quennel::listStretch(const StreamedRest& stretch) {
    if (listFailed) return false;
    try {
        const std::size_t most =
            listing == Listing::First ? 1 - listed.size() : std::numeric_limits<std::size_t>::max();
        DifferenceList list(folding(), ignoreOrder);
        const std::vector<Difference> found = list.find(stretch.original, stretch.compare, most);
        const std::vector<ListedDifference> more =
            listDifferences(found, list, stretch.original, stretch.compare,
                            &stretch.counts[0], &stretch.counts[1]);
        listed.insert(listed.end(), more.begin(), more.end());
    } catch (...) {
        listed.clear();
        listFailed = true;
        return false;
    }
    return listing != Listing::First || listed.empty();
}

void Quennel::printListed(const I18NString& original, const I18NString& compare) {
    if (listed.empty() || listFailed) return;
    // Names as typed, like the progress lines.
    const std::string originalName = shownName(original, 0);
    const std::string compareName = shownName(compare, 1);
    std::string blocks;
    if (listing == Listing::First) {
        blocks = describeDifference(listed.front(), "First difference", originalName, compareName);
    } else {
        for (std::size_t n = 0; n < listed.size(); ++n)
            blocks += describeDifference(listed[n], "Difference " + std::to_string(n + 1),
                                         originalName, compareName);
        blocks += listed.size() == 1 ? "\n ** 1 difference"
                                     : "\n ** " + std::to_string(listed.size()) + " differences";
    }
    std::cout << blocks;
}

void Quennel::reportDifferences(const I18NString& original, const EventLog& originalLog,
                                const I18NString& compare, const EventLog& compareLog) {
    try {
        DifferenceList list(folding(), ignoreOrder);
        const std::vector<Difference> found =
            list.find(originalLog, compareLog,
                      listing == Listing::First ? 1 : std::numeric_limits<std::size_t>::max());
        listed = listDifferences(found, list, originalLog, compareLog);
    } catch (...) {
        listed.clear();
        return;
    }
    printListed(original, compare);
}

#include "compare/Quennel.h"

#include <iostream>

#include <xercesc/parsers/XercesDOMParser.hpp>

#include "compare/BackgroundLoad.h"
#include "compare/EventComparison.h"
#include "input/QelEventParser.h"
#include "input/DocumentLoader.h"
#include "input/XercesLibrary.h"
#include "support/FailureHandlers.h"

using namespace xercesc;

bool Quennel::initializeXerces() { return ::initializeXerces(); }
bool Quennel::terminateXerces() { return ::terminateXerces(); }

int Quennel::diffFiles(const I18NString* original, const I18NString* compare,
                       const ElementNames* ignoreList) {
    XercesDOMParser* originalParser = nullptr;
    XercesDOMParser* compareParser = nullptr;
    QelEventParser* originalEvents = nullptr;
    QelEventParser* compareEvents = nullptr;
    // With nothing to remove, the files are read as event logs: no trees.
    const bool asEvents = !ignoreList && !verbose;
    int result = 2;
    const bool completed = runGuarded([&] {
        if (!initializeXerces()) throw "Error while initializing Xerces";
        prepareParsers(&originalParser, &compareParser);  // -v only
        std::cout << std::endl;
        std::cout << "Parsing " << original->toBytes(nullptr, nullptr, nullptr, nullptr) << std::endl;
        // Both files load at once; what the second load prints appears after the first, and
        // not at all when the first fails.
        if (asEvents) {
            BackgroundLoad second([&](std::ostream& out) {
                loadEvents(compare, &compareEvents, validateSchema, ignoreComments, out);
            });
            loadEvents(original, &originalEvents, validateSchema, ignoreComments, std::cout);
            std::cout << "Parsing " << compare->toBytes(nullptr, nullptr, nullptr, nullptr) << std::endl;
            second.finish();
        } else {
            BackgroundLoad second([&](std::ostream& out) {
                compareRoot = loadDocument(compare, &compareParser, validateSchema, out);
            });
            originalRoot = loadDocument(original, &originalParser, validateSchema);
            if (!originalRoot) throw "The root node of the original file is NULL.";
            std::cout << "Parsing " << compare->toBytes(nullptr, nullptr, nullptr, nullptr) << std::endl;
            second.finish();
            if (!compareRoot) throw "The root node of the compare file is NULL.";
            if (ignoreList) {
                DOMElementRemover remover;
                remover.removeElementsFromDocument(originalRoot, *ignoreList);
                remover.removeElementsFromDocument(compareRoot, *ignoreList);
            }
            stripIgnorable(originalRoot);
            stripIgnorable(compareRoot);
        }
        std::cout << std::endl;
        std::cout << "Diffing " << original->toBytes(nullptr, nullptr, nullptr, nullptr) << " Vs. "
                  << compare->toBytes(nullptr, nullptr, nullptr, nullptr) << std::endl;
        if (asEvents) {
            const EventLog& a = originalEvents->events();
            const EventLog& b = compareEvents->events();
            const bool same = ignoreOrder ? eventLogsEqualUnordered(a, b, folding())
                                          : eventLogsEqual(a, b, folding());
            result = same ? 0 : 1;
        } else {
            result = compareDocuments();
        }
        if (result == 1 && verbose)
            reportFirstDifference(*original, originalParser, *compare, compareParser);
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

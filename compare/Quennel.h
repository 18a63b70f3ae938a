#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "compare/CaseFolding.h"
#include "compare/DifferenceReport.h"
#include "compare/EventComparison.h"
#include "output/DOMElementRemover.h"
#include "output/Selector.h"
#include "support/I18NString.h"

// One diff: loads two files, strips what never counts and compares the two trees.
class Quennel {
public:
    Quennel() = default;
    virtual ~Quennel() = default;

    void setIgnoreComments(bool ignore) { ignoreComments = ignore; }
    void setIgnoreOrder(bool ignore) { ignoreOrder = ignore; }
    // What a "different" verdict lists: nothing, the first difference (-v) or every one (-l).
    enum class Listing { None, First, All };
    void setListing(Listing listing) { this->listing = listing; }
    // The differences that the last diffFiles found (none unless it listed them).
    const std::vector<ListedDifference>& differences() const { return listed; }

    // Names that the messages show instead of the paths that are read (git's temporary files
    // shown as a/PATH and b/PATH). Empty: the paths as typed.
    void setDisplayNames(std::string original, std::string compare) {
        displayNames[0] = std::move(original);
        displayNames[1] = std::move(compare);
    }

    // 0 same, 1 different, 2 failure (reported on standard output).
    int diffFiles(const I18NString* original, const I18NString* compare,
                  const ElementNames* ignoreList);

    bool initializeXerces();
    bool terminateXerces();

    // Removes whitespace-only text, and comments when they are ignored, below the document
    // element.
    void stripIgnorable(xercesc::DOMNode* node);
    bool isIgnorable(xercesc::DOMNode* node) const;
    // 0 when the two roots compare equal, 1 when they do not.
    int compareDocuments();
    // Whole subtrees, ignoring case; children in order, or matched one to one under ignoreOrder.
    // Documents compare by their document elements.
    bool compareNodes(xercesc::DOMNode* a, xercesc::DOMNode* b);
    bool compareElements(xercesc::DOMElement* a, xercesc::DOMElement* b);
    // Paired by name ignoring case, whatever their positions in the maps.
    bool compareAttributes(xercesc::DOMNamedNodeMap* a, xercesc::DOMNamedNodeMap* b);
    bool compareText(xercesc::DOMNode* a, xercesc::DOMNode* b);
    bool compareComments(xercesc::DOMNode* a, xercesc::DOMNode* b);

    // Lists where the two logs differ (they must differ), and prints the blocks. Prints nothing
    // if the list cannot be built: listing never changes a verdict.
    void reportDifferences(const I18NString& original, const EventLog& originalLog,
                           const I18NString& compare, const EventLog& compareLog);

    void setRoots(xercesc::DOMNode* original, xercesc::DOMNode* compare) {
        originalRoot = original;
        compareRoot = compare;
    }

private:
    CaseFolding& folding();
    std::string shownName(const I18NString& path, int side) const;
    // Plain diff in document order: reads both files at once and compares them as they are
    // read, in bounded memory; sets streamedResult. False when it could not run (no threads).
    // When listing, lists the differences as they are found (see listStretch).
    bool compareWhileReading(const I18NString* original, const I18NString* compare,
                             bool lists = false);
    // Adds the differences of one stretch to listed; false once no more are wanted (-v has
    // its first, or the list cannot be built: then listed is empty and stays so).
    bool listStretch(const StreamedRest& stretch);
    // The blocks of listed.
    void printListed(const I18NString& original, const I18NString& compare);
    bool compareInOrder(const xercesc::DOMNode* a, const xercesc::DOMNode* b);
    bool compareUnordered(const xercesc::DOMNode* a, const xercesc::DOMNode* b);

    std::unique_ptr<CaseFolding> caseFolding;  // built on first comparison, Xerces running
    xercesc::DOMNode* originalRoot = nullptr;
    xercesc::DOMNode* compareRoot = nullptr;
    bool ignoreComments = false;
    bool ignoreOrder = false;
    bool validateSchema = false;
    Listing listing = Listing::None;
    std::vector<ListedDifference> listed;
    bool listFailed = false;
    std::string displayNames[2];
    int streamedResult = -1;
    Selectors ignoring;                // -i on the event path
    std::vector<bool> ignoredFound[2];  // per selector, whether it selected anything, per file
};

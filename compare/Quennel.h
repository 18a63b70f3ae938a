#pragma once

#include <memory>

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "compare/CaseFolding.h"
#include "output/DOMElementRemover.h"
#include "support/I18NString.h"

// One diff: loads two files, strips what never counts and compares the two trees.
class Quennel {
public:
    Quennel() = default;
    virtual ~Quennel() = default;

    void setIgnoreComments(bool ignore) { ignoreComments = ignore; }
    void setIgnoreOrder(bool ignore) { ignoreOrder = ignore; }
    // -v: a "different" verdict also says where the trees first differ.
    void setVerbose(bool on) { verbose = on; }

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

    // Under -v, fills both empty parser slots with parsers that record where elements start.
    void prepareParsers(xercesc::XercesDOMParser** original,
                        xercesc::XercesDOMParser** compare) const;
    // Prints where the two roots first differ (they must differ), with the positions that the
    // parsers recorded. Prints nothing if the report cannot be built: -v never changes a verdict.
    void reportFirstDifference(const I18NString& original,
                               const xercesc::XercesDOMParser* originalParser,
                               const I18NString& compare,
                               const xercesc::XercesDOMParser* compareParser);

    void setRoots(xercesc::DOMNode* original, xercesc::DOMNode* compare) {
        originalRoot = original;
        compareRoot = compare;
    }

private:
    CaseFolding& folding();
    bool compareInOrder(const xercesc::DOMNode* a, const xercesc::DOMNode* b);
    bool compareUnordered(const xercesc::DOMNode* a, const xercesc::DOMNode* b);

    std::unique_ptr<CaseFolding> caseFolding;  // built on first comparison, Xerces running
    xercesc::DOMNode* originalRoot = nullptr;
    xercesc::DOMNode* compareRoot = nullptr;
    bool ignoreComments = false;
    bool ignoreOrder = false;
    bool validateSchema = false;
    bool verbose = false;
};

// What the remove command writes loads again as the same document, DOCTYPE and XML version
// included, and writing that one gives the same bytes. (A DTD named by a relative path is found
// again: the copy lies in the same directory.)
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMDocumentType.hpp>
#include <xercesc/util/XMLString.hpp>

#include "FuzzSupport.h"

namespace {

bool sameText(const XMLCh* a, const XMLCh* b) {
    return xercesc::XMLString::equals(a ? a : u"", b ? b : u"");
}

// Name, ids and the internal subset as the file writes it.
bool sameDoctype(xercesc::DOMNode* a, xercesc::DOMNode* b) {
    const xercesc::DOMDocumentType* x = static_cast<xercesc::DOMDocument*>(a)->getDoctype();
    const xercesc::DOMDocumentType* y = static_cast<xercesc::DOMDocument*>(b)->getDoctype();
    if (!x || !y) return !x && !y;
    return sameText(x->getName(), y->getName()) && sameText(x->getPublicId(), y->getPublicId()) &&
           sameText(x->getSystemId(), y->getSystemId()) &&
           sameText(x->getInternalSubset(), y->getInternalSubset());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Loaded original = loadBytes("first.xml", data, size);
    if (!original.doc) return 0;

    const std::string written = writeDocument(original.doc);
    const Loaded reloaded = loadBytes("written.xml", written);
    FUZZ_CHECK(reloaded.doc, "the written document does not load");
    FUZZ_CHECK(writeDocument(reloaded.doc) == written,
               "writing the reloaded document gives other bytes");
    FUZZ_CHECK(isXml11(reloaded.doc) == isXml11(original.doc),
               "the written document reads back with another XML version");
    FUZZ_CHECK(sameDoctype(original.doc, reloaded.doc),
               "the written DOCTYPE reads back with other ids or another internal subset");
    for (const bool comments : {false, true}) {
        for (const bool order : {false, true}) {
            FUZZ_CHECK(sameDocuments(original.doc, reloaded.doc, comments, order),
                       "the written document differs from the original");
        }
    }
    return 0;
}

#include "input/QelDOMParser.h"

#include <memory>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMDocumentType.hpp>
#include <xercesc/internal/ReaderMgr.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>

using namespace xercesc;

QelDOMParser::QelDOMParser()
    : XercesDOMParser(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr) {
    securityManager.setEntityExpansionLimit(kEntityExpansionLimit);
    setSecurityManager(&securityManager);
    setXMLEntityResolver(&resolver);
    // Byte offsets mark the internal subset in the file.
    setCalculateSrcOfs(true);
}

void QelDOMParser::parse(const InputSource& source) {
    subset.parseRecording(source, [this](const InputSource& read) { XercesDOMParser::parse(read); });
}

void QelDOMParser::flushText() {
    if (pendingText.empty()) return;
    XercesDOMParser::docCharacters(pendingText.data(), pendingText.size(), false);
    pendingText.clear();
}

void QelDOMParser::startDocument() {
    expansion.reset();
    pendingText.clear();
    XercesDOMParser::startDocument();
}

void QelDOMParser::resetDocument() {
    pendingText.clear();
    XercesDOMParser::resetDocument();
}

void QelDOMParser::endDocument() {
    flushText();
    XercesDOMParser::endDocument();
}

void QelDOMParser::startElement(const XMLElementDecl& decl, const unsigned int urlId,
                                const XMLCh* const prefix, const RefVectorOf<XMLAttr>& attrs,
                                const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) {
    if (isRoot) subset.stop();
    flushText();
    XercesDOMParser::startElement(decl, urlId, prefix, attrs, attrCount, isEmpty, isRoot);
}

void QelDOMParser::endElement(const XMLElementDecl& decl, const unsigned int urlId,
                              const bool isRoot, const XMLCh* const prefix) {
    flushText();
    XercesDOMParser::endElement(decl, urlId, isRoot, prefix);
}

void QelDOMParser::startEntityReference(const XMLEntityDecl& entity) {
    flushText();
    expansion.enter();
    XercesDOMParser::startEntityReference(entity);
}

void QelDOMParser::endEntityReference(const XMLEntityDecl& entity) {
    flushText();
    expansion.leave();
    XercesDOMParser::endEntityReference(entity);
}

void QelDOMParser::docCharacters(const XMLCh* chars, const XMLSize_t length, const bool cdata) {
    countExpanded(length);
    if (cdata) {
        flushText();
        XercesDOMParser::docCharacters(chars, length, cdata);
    } else {
        pendingText.append(chars, length);
    }
}

void QelDOMParser::ignorableWhitespace(const XMLCh* chars, const XMLSize_t length,
                                       const bool cdata) {
    countExpanded(length);
    flushText();
    XercesDOMParser::ignorableWhitespace(chars, length, cdata);
}

void QelDOMParser::docComment(const XMLCh* comment) {
    countExpanded(XMLString::stringLen(comment));
    flushText();
    XercesDOMParser::docComment(comment);
}

void QelDOMParser::docPI(const XMLCh* target, const XMLCh* data) {
    countExpanded(XMLString::stringLen(target) + XMLString::stringLen(data));
    flushText();
    XercesDOMParser::docPI(target, data);
}

void QelDOMParser::doctypeDecl(const DTDElementDecl& root, const XMLCh* const publicId,
                               const XMLCh* const systemId, const bool hasIntSubset,
                               const bool hasExtSubset) {
    if (!hasIntSubset) subset.stop();
    XercesDOMParser::doctypeDecl(root, publicId, systemId, hasIntSubset, hasExtSubset);
}

void QelDOMParser::startIntSubset() {
    try {
        subset.subsetStarts(getScanner()->getSrcOffset());
    } catch (const XMLException&) {
        subset.subsetStarts(0);  // an encoding without source offsets: nothing is taken
    }
    XercesDOMParser::startIntSubset();
}

// The library hands fInternalSubset, its rebuilt text, to the document type: the file's own
// text takes its place. Where that cannot be had, the document type is marked instead, and the
// writer refuses it rather than write the rebuilt text.
void QelDOMParser::endIntSubset() {
    std::u16string text;
    bool taken = false;
    try {
        taken = subset.take(getScanner()->getSrcOffset(),
                            getScanner()->getReaderMgr()->getCurrentEncodingStr(), text);
    } catch (const XMLException&) {
        taken = false;  // an encoding without source offsets
    }
    subset.stop();
    if (taken) fInternalSubset.set(text.c_str(), text.size());
    XercesDOMParser::endIntSubset();
    if (!taken) {
        if (DOMDocumentType* type = getDocument()->getDoctype())
            type->setUserData(InternalSubsetCapture::kNotCaptured, type, nullptr);
    }
}

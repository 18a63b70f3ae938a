#include "input/QelDOMParser.h"

#include <xercesc/framework/XMLNotationDecl.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/validators/DTD/DTDAttDef.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

using namespace xercesc;

namespace {

bool holdsAny(const XMLCh* text, const char16_t* characters) {
    if (!text) return false;
    for (; *text; ++text)
        for (const char16_t* c = characters; *c; ++c)
            if (*text == *c) return true;
    return false;
}

}  // namespace

QelDOMParser::QelDOMParser()
    : XercesDOMParser(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr) {
    securityManager.setEntityExpansionLimit(kEntityExpansionLimit);
    setSecurityManager(&securityManager);
    setXMLEntityResolver(&resolver);
}

void QelDOMParser::flushText() {
    if (pendingText.empty()) return;
    XercesDOMParser::docCharacters(pendingText.data(), pendingText.size(), false);
    pendingText.clear();
}

void QelDOMParser::startDocument() {
    expansion.reset();
    pendingText.clear();
    elementPositions.clear();
    XercesDOMParser::startDocument();
}

void QelDOMParser::resetDocument() {
    pendingText.clear();
    inInternalSubset = false;
    subsetLossy = false;
    XercesDOMParser::resetDocument();
}

void QelDOMParser::endDocument() {
    flushText();
    XercesDOMParser::endDocument();
}

void QelDOMParser::startElement(const XMLElementDecl& decl, const unsigned int urlId,
                                const XMLCh* const prefix, const RefVectorOf<XMLAttr>& attrs,
                                const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) {
    flushText();
    XercesDOMParser::startElement(decl, urlId, prefix, attrs, attrCount, isEmpty, isRoot);
    if (recordPositions && !expansion.inside()) {
        const Locator* at = getScanner()->getLocator();
        elementPositions[getCurrentNode()] = {at->getLineNumber(), at->getColumnNumber()};
    }
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

void QelDOMParser::startIntSubset() {
    inInternalSubset = true;
    XercesDOMParser::startIntSubset();
}

void QelDOMParser::endIntSubset() {
    inInternalSubset = false;
    XercesDOMParser::endIntSubset();
}

void QelDOMParser::entityDecl(const DTDEntityDecl& decl, const bool isPEDecl,
                              const bool isIgnored) {
    if (inInternalSubset &&
        (isPEDecl || holdsAny(decl.getValue(), u"\"&%\r") ||
         holdsAny(decl.getSystemId(), u"\"") || holdsAny(decl.getPublicId(), u"\"")))
        subsetLossy = true;
    XercesDOMParser::entityDecl(decl, isPEDecl, isIgnored);
}

void QelDOMParser::attDef(const DTDElementDecl& element, const DTDAttDef& attribute,
                          const bool ignoring) {
    if (inInternalSubset && (attribute.getType() == XMLAttDef::Notation ||
                             holdsAny(attribute.getValue(), u"\"&<%\r\n\t")))
        subsetLossy = true;
    XercesDOMParser::attDef(element, attribute, ignoring);
}

void QelDOMParser::notationDecl(const XMLNotationDecl& decl, const bool isIgnored) {
    if (inInternalSubset && (holdsAny(decl.getSystemId(), u"\"") || holdsAny(decl.getPublicId(), u"\"")))
        subsetLossy = true;
    XercesDOMParser::notationDecl(decl, isIgnored);
}

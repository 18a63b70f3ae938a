#include "input/QelDOMParser.h"

#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

using namespace xercesc;

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

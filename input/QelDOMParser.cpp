#include "input/QelDOMParser.h"

#include <string>

#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include "support/Utf8.h"

using namespace xercesc;

QelDOMParser::QelDOMParser()
    : XercesDOMParser(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr) {
    securityManager.setEntityExpansionLimit(kEntityExpansionLimit);
    setSecurityManager(&securityManager);
    setXMLEntityResolver(&resolver);
}

void QelDOMParser::startDocument() {
    entityDepth = 0;
    expandedText = 0;
    XercesDOMParser::startDocument();
}

void QelDOMParser::startEntityReference(const XMLEntityDecl& entity) {
    ++entityDepth;
    XercesDOMParser::startEntityReference(entity);
}

void QelDOMParser::endEntityReference(const XMLEntityDecl& entity) {
    --entityDepth;
    XercesDOMParser::endEntityReference(entity);
}

void QelDOMParser::countExpanded(XMLSize_t length) {
    if (entityDepth <= 0) return;
    expandedText += length;
    if (expandedText <= kExpandedTextLimit) return;
    const std::u16string message = decodeUtf8(
        "entity references in the document expand to more than '" +
        std::to_string(kExpandedTextLimit) +
        "' characters; this is the limit imposed by the application");
    // A fatal error goes to the error handler like the library's own and ends the parse.
    getScanner()->emitError(XMLErrs::XMLException_Fatal, message.c_str());
}

void QelDOMParser::docCharacters(const XMLCh* chars, const XMLSize_t length, const bool cdata) {
    countExpanded(length);
    XercesDOMParser::docCharacters(chars, length, cdata);
}

void QelDOMParser::ignorableWhitespace(const XMLCh* chars, const XMLSize_t length,
                                       const bool cdata) {
    countExpanded(length);
    XercesDOMParser::ignorableWhitespace(chars, length, cdata);
}

void QelDOMParser::docComment(const XMLCh* comment) {
    countExpanded(XMLString::stringLen(comment));
    XercesDOMParser::docComment(comment);
}

void QelDOMParser::docPI(const XMLCh* target, const XMLCh* data) {
    countExpanded(XMLString::stringLen(target) + XMLString::stringLen(data));
    XercesDOMParser::docPI(target, data);
}

#include "input/QelElementParser.h"

#include <memory>

#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/framework/XMLEntityDecl.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include "input/QelDOMParser.h"

using namespace xercesc;

QelElementParser::QelElementParser(Listener& listener)
    : SAXParser(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr), forwarder(*this, listener) {
    securityManager.setEntityExpansionLimit(QelDOMParser::kEntityExpansionLimit);
    setSecurityManager(&securityManager);
    setXMLEntityResolver(&resolver);
    installAdvDocHandler(&forwarder);
}

void QelElementParser::parse(const InputSource& source) {
    if (!countColumns) return SAXParser::parse(source);
    const std::unique_ptr<InputSource> watched = columns.watch(source);
    SAXParser::parse(*watched);
}

void QelElementParser::Forwarder::count(XMLSize_t length) {
    expansion.count(length, const_cast<XMLScanner&>(parser.getScanner()));
}

void QelElementParser::Forwarder::startDocument() {
    expansion.reset();
    entities.clear();
    declared = false;
}

void QelElementParser::Forwarder::XMLDecl(const XMLCh* const, const XMLCh* const encoding,
                                          const XMLCh* const, const XMLCh* const detected) {
    // Called for the document's declaration first; later ones belong to external entities.
    if (declared) return;
    declared = true;
    listener.encoding(detected, encoding);
}

void QelElementParser::Forwarder::startElement(const XMLElementDecl& decl, const unsigned int,
                                               const XMLCh* const,
                                               const RefVectorOf<XMLAttr>& attrs,
                                               const XMLSize_t attrCount, const bool isEmpty,
                                               const bool) {
    if (!declared) {
        declared = true;
        listener.encoding(parser.getScanner().getReaderMgr()->getCurrentEncodingStr(), nullptr);
    }
    const XMLScanner& scanner = parser.getScanner();
    const Locator* at = scanner.getLocator();
    const XMLFileLoc line = at->getLineNumber();
    // Only a dry run shows columns: the name of the encoding is not looked at per element else.
    const XMLFileLoc column =
        parser.countColumns
            ? parser.columns.column(line, at->getColumnNumber(),
                                    readsUtf(scanner.getReaderMgr()->getCurrentEncodingStr()))
            : at->getColumnNumber();
    listener.startElement(decl.getFullName(), attrs, attrCount,
                          entities.empty() ? nullptr : entities.back(), line, column);
    if (isEmpty) listener.endElement();
}

void QelElementParser::Forwarder::endElement(const XMLElementDecl&, const unsigned int, const bool,
                                             const XMLCh* const) {
    listener.endElement();
}

void QelElementParser::Forwarder::docCharacters(const XMLCh* const, const XMLSize_t length,
                                                const bool) {
    count(length);
}

void QelElementParser::Forwarder::ignorableWhitespace(const XMLCh* const, const XMLSize_t length,
                                                      const bool) {
    count(length);
}

void QelElementParser::Forwarder::docComment(const XMLCh* const comment) {
    count(XMLString::stringLen(comment));
}

void QelElementParser::Forwarder::docPI(const XMLCh* const target, const XMLCh* const data) {
    count(XMLString::stringLen(target) + XMLString::stringLen(data));
}

void QelElementParser::Forwarder::startEntityReference(const XMLEntityDecl& entity) {
    expansion.enter();
    entities.push_back(entity.getName());
}

void QelElementParser::Forwarder::endEntityReference(const XMLEntityDecl&) {
    expansion.leave();
    entities.pop_back();
}

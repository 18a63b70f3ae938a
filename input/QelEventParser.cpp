#include "input/QelEventParser.h"

#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include "input/QelDOMParser.h"

using namespace xercesc;

QelEventParser::QelEventParser(bool ignoreComments)
    : SAXParser(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr),
      recorder(*this, ignoreComments) {
    securityManager.setEntityExpansionLimit(QelDOMParser::kEntityExpansionLimit);
    setSecurityManager(&securityManager);
    setXMLEntityResolver(&resolver);
    installAdvDocHandler(&recorder);
}

void QelEventParser::Recorder::count(XMLSize_t length) {
    expansion.count(length, const_cast<XMLScanner&>(parser.getScanner()));
}

void QelEventParser::Recorder::handOff(bool always) {
    if (!stream || log.events().empty()) return;
    // A long text makes a large chunk by itself; many short ones are cut by count or size.
    if (always || log.events().size() >= chunkEvents || log.arenaSize() >= (std::size_t{1} << 19)) {
        stream->put(std::move(log));
        log = stream->spare();
    }
}

void QelEventParser::Recorder::flushText() {
    if (pendingText.empty()) return;
    // Whitespace between elements never counts; inside an entity reference everything does.
    if (expansion.inside() || !EventLog::isBlank(pendingText.data(), pendingText.size()))
        log.add(EventLog::Text, nullptr, 0, pendingText.data(), pendingText.size());
    pendingText.clear();
}

void QelEventParser::Recorder::startDocument() {
    log.clear();
    pendingText.clear();
    expansion.reset();
    elementDepth = 0;
}

void QelEventParser::Recorder::resetDocument() {
    pendingText.clear();
}

void QelEventParser::Recorder::endDocument() {
    flushText();
    handOff(true);
}

void QelEventParser::Recorder::startElement(const XMLElementDecl& decl, const unsigned int,
                                            const XMLCh* const, const RefVectorOf<XMLAttr>& attrs,
                                            const XMLSize_t attrCount, const bool isEmpty,
                                            const bool) {
    flushText();
    const XMLCh* name = decl.getFullName();
    log.add(EventLog::ElementStart, name, XMLString::stringLen(name), nullptr, 0,
            static_cast<std::uint32_t>(attrCount));
    for (XMLSize_t i = 0; i < attrCount; ++i) {
        const XMLAttr* attr = attrs.elementAt(i);
        const XMLCh* value = attr->getValue();
        log.add(EventLog::Attribute, attr->getQName(), XMLString::stringLen(attr->getQName()),
                value, XMLString::stringLen(value));
    }
    if (isEmpty)
        log.add(EventLog::ElementEnd, nullptr, 0, nullptr, 0);
    else
        ++elementDepth;
    handOff();
}

void QelEventParser::Recorder::endElement(const XMLElementDecl&, const unsigned int, const bool,
                                          const XMLCh* const) {
    flushText();
    --elementDepth;
    log.add(EventLog::ElementEnd, nullptr, 0, nullptr, 0);
    handOff();
}

void QelEventParser::Recorder::docCharacters(const XMLCh* const chars, const XMLSize_t length,
                                   const bool cdata) {
    count(length);
    if (!inContent()) return;
    if (cdata) {
        flushText();
        log.add(EventLog::Cdata, nullptr, 0, chars, length);
    } else {
        pendingText.append(chars, length);
    }
    handOff();
}

void QelEventParser::Recorder::ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length,
                                         const bool) {
    // A tree holds it as text, joined with the text around it.
    count(length);
    if (inContent()) pendingText.append(chars, length);
}

void QelEventParser::Recorder::docComment(const XMLCh* const comment) {
    const XMLSize_t length = XMLString::stringLen(comment);
    count(length);
    if (!inContent()) return;
    flushText();
    if (!ignoreComments || expansion.inside())
        log.add(EventLog::Comment, nullptr, 0, comment, length);
    handOff();
}

void QelEventParser::Recorder::docPI(const XMLCh* const target, const XMLCh* const data) {
    const XMLSize_t targetLength = XMLString::stringLen(target);
    const XMLSize_t dataLength = XMLString::stringLen(data);
    count(targetLength + dataLength);
    if (!inContent()) return;
    flushText();
    log.add(EventLog::Instruction, target, targetLength, data, dataLength);
    handOff();
}

void QelEventParser::Recorder::startEntityReference(const XMLEntityDecl& entity) {
    flushText();
    expansion.enter();
    if (inContent()) {
        const XMLCh* name = entity.getName();
        log.add(EventLog::EntityStart, name, XMLString::stringLen(name), nullptr, 0);
    }
    handOff();
}

void QelEventParser::Recorder::endEntityReference(const XMLEntityDecl&) {
    flushText();
    expansion.leave();
    if (inContent()) log.add(EventLog::EntityEnd, nullptr, 0, nullptr, 0);
    handOff();
}

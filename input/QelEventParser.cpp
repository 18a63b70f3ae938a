#include "input/QelEventParser.h"

#include <algorithm>
#include <memory>

#include <xercesc/framework/XMLAttDefList.hpp>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/internal/ReaderMgr.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include "input/QelDOMParser.h"

using namespace xercesc;

QelEventParser::QelEventParser(bool ignoreComments, const Selectors* ignored)
    : SAXParser(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr),
      recorder(*this, ignoreComments, ignored && !ignored->empty() ? ignored : nullptr) {
    securityManager.setEntityExpansionLimit(QelDOMParser::kEntityExpansionLimit);
    setSecurityManager(&securityManager);
    setXMLEntityResolver(&resolver);
    installAdvDocHandler(&recorder);
}

void QelEventParser::parse(const InputSource& source) {
    if (!recordPositions) return SAXParser::parse(source);
    const std::unique_ptr<InputSource> watched = columns.watch(source);
    SAXParser::parse(*watched);
}

void QelEventParser::Recorder::placeLast() {
    if (!parser.recordPositions || expansion.inside()) return;
    const XMLScanner& scanner = parser.getScanner();
    const Locator* at = scanner.getLocator();
    const XMLFileLoc line = at->getLineNumber();
    // The encoding changes only with the entity read: its name is judged once per change.
    const XMLCh* encoding = scanner.getReaderMgr()->getCurrentEncodingStr();
    if (!encoding) encoding = u"";
    if (lastEncoding != encoding) {
        lastEncoding = encoding;
        utf = readsUtf(encoding);
    }
    log.place(line, parser.columns.column(line, at->getColumnNumber(), utf));
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
    // Whitespace between elements never counts, inside entity references too.
    if (!EventLog::isBlank(pendingText.data(), pendingText.size()))
        log.add(EventLog::Text, nullptr, 0, pendingText.data(), pendingText.size());
    pendingText.clear();
}

void QelEventParser::Recorder::startDocument() {
    log.clear();
    pendingText.clear();
    expansion.reset();
    elementDepth = 0;
    removedBy.clear();
    pathNames.clear();
    found.assign(ignored ? ignored->size() : 0, false);
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
    if (!isEmpty) ++elementDepth;
    if (ignored) {
        const bool dropped = openSelected(decl, attrs, attrCount, isEmpty);
        if (dropped) return;  // the text around it stays apart, as around a removed node
    } else {
        attributeDropped.assign(attrCount, Kept);
    }
    std::uint32_t kept = 0;
    for (XMLSize_t i = 0; i < attrCount; ++i) kept += attributeDropped[i] != Dropped;
    log.add(EventLog::ElementStart, name, XMLString::stringLen(name), nullptr, 0, kept);
    placeLast();
    for (XMLSize_t i = 0; i < attrCount; ++i) {
        if (attributeDropped[i] == Dropped) continue;
        const XMLAttr* attr = attrs.elementAt(i);
        const XMLCh* value = attr->getValue();
        if (attributeDropped[i] == Defaulted) value = defaultOf(decl, attr->getQName());
        log.add(EventLog::Attribute, attr->getQName(), XMLString::stringLen(attr->getQName()),
                value, XMLString::stringLen(value));
    }
    if (isEmpty) log.add(EventLog::ElementEnd, nullptr, 0, nullptr, 0);
    handOff();
}

const XMLCh* QelEventParser::Recorder::defaultOf(const XMLElementDecl& decl, const XMLCh* name) {
    if (!decl.hasAttDefs()) return nullptr;
    XMLAttDefList& defs = const_cast<XMLElementDecl&>(decl).getAttDefList();
    for (XMLSize_t i = 0; i < defs.getAttDefCount(); ++i) {
        const XMLAttDef& def = defs.getAttDef(i);
        const XMLAttDef::DefAttTypes type = def.getDefaultType();
        if ((type == XMLAttDef::Default || type == XMLAttDef::Fixed) &&
            XMLString::equals(def.getFullName(), name))
            return def.getValue();
    }
    return nullptr;
}

bool QelEventParser::Recorder::openSelected(const XMLElementDecl& decl,
                                            const RefVectorOf<XMLAttr>& attrs,
                                            XMLSize_t attrCount, bool isEmpty) {
    const Selectors& selectors = *ignored;
    const std::size_t outer = removedBy.empty() ? kKept : removedBy.back();
    // Only the selectors before the one that removes an enclosing element ever see this one.
    const std::size_t seen = std::min(outer, selectors.size());
    const std::size_t depth = removedBy.size();
    if (seen > 0) {
        if (names.size() <= depth) {
            names.resize(depth + 1);
            // The strings may have moved.
            for (std::size_t i = 0; i < depth; ++i)
                if (pathNames[i]) pathNames[i] = names[i].c_str();
        }
        names[depth] = decl.getFullName();
        pathNames.push_back(names[depth].c_str());
    } else {
        pathNames.push_back(nullptr);
    }
    std::size_t removed = outer;
    for (std::size_t i = 0; i < seen; ++i) {
        if (!selectors[i].selectsAttributes() &&
            selectors[i].matchesElement(pathNames.data(), depth + 1)) {
            found[i] = true;
            removed = i;
            break;
        }
    }
    // An attribute selector before the element's own sees its attributes; a DTD's default is
    // not in the file and is never selected, and takes the place of a removed attribute.
    attributeDropped.assign(attrCount, Kept);
    const std::size_t attributesSeen = std::min(removed, selectors.size());
    for (XMLSize_t a = 0; a < attrCount; ++a) {
        const XMLAttr* attr = attrs.elementAt(a);
        if (!attr->getSpecified()) continue;
        for (std::size_t i = 0; i < attributesSeen; ++i) {
            if (selectors[i].matchesAttribute(pathNames.data(), depth + 1, attr->getQName())) {
                found[i] = true;
                attributeDropped[a] = defaultOf(decl, attr->getQName()) ? Defaulted : Dropped;
                break;
            }
        }
    }
    if (isEmpty)
        pathNames.pop_back();
    else
        removedBy.push_back(removed);
    return removed != kKept;
}

void QelEventParser::Recorder::closeSelected() {
    removedBy.pop_back();
    pathNames.pop_back();
}

void QelEventParser::Recorder::endElement(const XMLElementDecl&, const unsigned int, const bool,
                                          const XMLCh* const) {
    flushText();
    const bool wasRecording = recording();
    --elementDepth;
    if (ignored) closeSelected();
    if (!wasRecording) return;
    log.add(EventLog::ElementEnd, nullptr, 0, nullptr, 0);
    handOff();
}

void QelEventParser::Recorder::docCharacters(const XMLCh* const chars, const XMLSize_t length,
                                   const bool cdata) {
    count(length);
    if (!recording()) return;
    if (cdata) {
        flushText();
        log.add(EventLog::Cdata, nullptr, 0, chars, length);
        placeLast();
    } else {
        pendingText.append(chars, length);
    }
    handOff();
}

void QelEventParser::Recorder::ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length,
                                         const bool) {
    // A tree holds it as text, joined with the text around it.
    count(length);
    if (recording()) pendingText.append(chars, length);
}

void QelEventParser::Recorder::docComment(const XMLCh* const comment) {
    const XMLSize_t length = XMLString::stringLen(comment);
    count(length);
    if (!recording()) return;
    flushText();
    if (!ignoreComments) {
        log.add(EventLog::Comment, nullptr, 0, comment, length);
        placeLast();
    }
    handOff();
}

void QelEventParser::Recorder::docPI(const XMLCh* const target, const XMLCh* const data) {
    const XMLSize_t targetLength = XMLString::stringLen(target);
    const XMLSize_t dataLength = XMLString::stringLen(data);
    count(targetLength + dataLength);
    if (!recording()) return;
    flushText();
    log.add(EventLog::Instruction, target, targetLength, data, dataLength);
    placeLast();
    handOff();
}

void QelEventParser::Recorder::startEntityReference(const XMLEntityDecl& entity) {
    flushText();
    expansion.enter();
    if (recording()) {
        const XMLCh* name = entity.getName();
        log.add(EventLog::EntityStart, name, XMLString::stringLen(name), nullptr, 0);
    }
    handOff();
}

void QelEventParser::Recorder::endEntityReference(const XMLEntityDecl&) {
    flushText();
    expansion.leave();
    if (recording()) log.add(EventLog::EntityEnd, nullptr, 0, nullptr, 0);
    handOff();
}

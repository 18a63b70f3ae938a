#include "input/QelElementParser.h"

#include <memory>

#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/framework/XMLEntityDecl.hpp>
#include <xercesc/internal/ReaderMgr.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>

#include "input/QelDOMParser.h"

using namespace xercesc;

QelElementParser::QelElementParser(Listener& listener)
    : SAXParser(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr),
      listener(listener),
      forwarder(*this, listener) {
    securityManager.setEntityExpansionLimit(QelDOMParser::kEntityExpansionLimit);
    setSecurityManager(&securityManager);
    setXMLEntityResolver(&resolver);
    installAdvDocHandler(&forwarder);
}

void QelElementParser::setKeepSubset(bool keep) {
    keepSubset = keep;
    setCalculateSrcOfs(keep);  // the subset is taken from the file by offset
    // The scanner tells a SAX parser about the DOCTYPE only when it has a handler for it.
    const_cast<XMLScanner&>(getScanner()).setDocTypeHandler(keep ? this : nullptr);
}

void QelElementParser::parse(const InputSource& source) {
    std::unique_ptr<InputSource> watched;
    if (countColumns) watched = columns.watch(source);
    const InputSource& read = watched ? *watched : source;
    if (!keepSubset) return SAXParser::parse(read);
    subset.parseRecording(read, [this](const InputSource& recorded) { SAXParser::parse(recorded); });
}

void QelElementParser::doctypeDecl(const DTDElementDecl& root, const XMLCh* const publicId,
                                   const XMLCh* const systemId, const bool hasIntSubset,
                                   const bool hasExtSubset) {
    SAXParser::doctypeDecl(root, publicId, systemId, hasIntSubset, hasExtSubset);
    if (!keepSubset) return;
    doctypeName = root.getFullName();
    this->publicId = publicId ? publicId : u"";
    this->systemId = systemId ? systemId : u"";
    if (!hasIntSubset) {
        subset.stop();
        reportDoctype(u"");
    }
}

void QelElementParser::startIntSubset() {
    SAXParser::startIntSubset();
    if (!keepSubset) return;
    try {
        subset.subsetStarts(getScanner().getSrcOffset());
    } catch (const XMLException&) {
        subset.subsetStarts(0);  // an encoding without source offsets: nothing is taken
    }
}

void QelElementParser::endIntSubset() {
    SAXParser::endIntSubset();
    if (!keepSubset) return;
    std::u16string text;
    bool taken = false;
    try {
        taken = subset.take(getScanner().getSrcOffset(),
                            getScanner().getReaderMgr()->getCurrentEncodingStr(), text);
    } catch (const XMLException&) {
        taken = false;  // an encoding without source offsets
    }
    subset.stop();
    reportDoctype(taken ? text.c_str() : nullptr);
}

void QelElementParser::reportDoctype(const XMLCh* text) {
    listener.doctype(doctypeName.c_str(), publicId.c_str(), systemId.c_str(), text);
}

void QelElementParser::Forwarder::count(XMLSize_t length) {
    expansion.count(length, const_cast<XMLScanner&>(parser.getScanner()));
}

void QelElementParser::Forwarder::startDocument() {
    expansion.reset();
    entities.clear();
    declared = false;
}

void QelElementParser::Forwarder::XMLDecl(const XMLCh* const version, const XMLCh* const encoding,
                                          const XMLCh* const, const XMLCh* const detected) {
    // Called for the document's declaration first; later ones belong to external entities.
    if (declared) return;
    declared = true;
    listener.encoding(detected, encoding);
    listener.version(version);
}

void QelElementParser::Forwarder::startElement(const XMLElementDecl& decl, const unsigned int,
                                               const XMLCh* const,
                                               const RefVectorOf<XMLAttr>& attrs,
                                               const XMLSize_t attrCount, const bool isEmpty,
                                               const bool isRoot) {
    if (isRoot && parser.keepSubset) parser.subset.stop();
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

void QelElementParser::Forwarder::docCharacters(const XMLCh* const chars, const XMLSize_t length,
                                                const bool cdata) {
    count(length);
    listener.characters(chars, length, cdata);
}

void QelElementParser::Forwarder::ignorableWhitespace(const XMLCh* const chars,
                                                      const XMLSize_t length, const bool) {
    count(length);
    listener.characters(chars, length, false);
}

void QelElementParser::Forwarder::docComment(const XMLCh* const comment) {
    count(XMLString::stringLen(comment));
    listener.comment(comment);
}

void QelElementParser::Forwarder::docPI(const XMLCh* const target, const XMLCh* const data) {
    count(XMLString::stringLen(target) + XMLString::stringLen(data));
    listener.processingInstruction(target, data);
}

void QelElementParser::Forwarder::startEntityReference(const XMLEntityDecl& entity) {
    expansion.enter();
    entities.push_back(entity.getName());
    listener.startEntity(entity.getName());
}

void QelElementParser::Forwarder::endEntityReference(const XMLEntityDecl&) {
    expansion.leave();
    entities.pop_back();
    listener.endEntity();
}

#pragma once

#include <string>

#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/SecurityManager.hpp>

#include "input/EntityExpansionLimit.h"
#include "input/InternalSubsetCapture.h"
#include "input/LocalEntityResolver.h"

// The DOM parser every load uses: entity expansion is bounded, so a "billion laughs" file fails
// fast instead of exhausting memory, and relative DTD and entity names resolve against the
// document that names them. A text that the scanner delivers in pieces (around &amp;, &#233;,
// at buffer ends) is gathered and becomes one node at once: growing a node piece by piece costs
// time that grows faster than the document. The DOCTYPE's internal subset is kept as the file
// writes it (see InternalSubsetCapture), so that a rewritten file reads back the same.
class QelDOMParser : public xercesc::XercesDOMParser {
public:
    QelDOMParser();
    ~QelDOMParser() override = default;

    void setDocumentPath(const I18NString& path) { resolver.setDocumentPath(path); }

    // Parses through a source that records the prolog's bytes.
    void parse(const xercesc::InputSource& source);
    using XercesDOMParser::parse;

    // Expansions per document. Ordinary and character references (&amp; &#65;) do not count;
    // a billion laughs stops here within a fraction of a second and some tens of MB.
    static constexpr XMLSize_t kEntityExpansionLimit = 100000;

    void startDocument() override;
    void startEntityReference(const xercesc::XMLEntityDecl& entity) override;
    void endEntityReference(const xercesc::XMLEntityDecl& entity) override;
    void docCharacters(const XMLCh* chars, const XMLSize_t length, const bool cdata) override;
    void ignorableWhitespace(const XMLCh* chars, const XMLSize_t length, const bool cdata) override;
    void docComment(const XMLCh* comment) override;
    void docPI(const XMLCh* target, const XMLCh* data) override;
    void startElement(const xercesc::XMLElementDecl& decl, const unsigned int urlId,
                      const XMLCh* const prefix, const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs,
                      const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) override;
    void endElement(const xercesc::XMLElementDecl& decl, const unsigned int urlId,
                    const bool isRoot, const XMLCh* const prefix) override;
    void endDocument() override;
    void resetDocument() override;
    void doctypeDecl(const xercesc::DTDElementDecl& root, const XMLCh* const publicId,
                     const XMLCh* const systemId, const bool hasIntSubset,
                     const bool hasExtSubset) override;
    void startIntSubset() override;
    void endIntSubset() override;

private:
    void countExpanded(XMLSize_t length) { expansion.count(length, *getScanner()); }
    // Hands the gathered text to the tree builder; every other event calls it first.
    void flushText();

    xercesc::SecurityManager securityManager;
    LocalEntityResolver resolver;
    EntityExpansionLimit expansion;
    std::u16string pendingText;
    InternalSubsetCapture subset;
};

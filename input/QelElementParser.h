#pragma once

#include <string>
#include <vector>

#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/util/SecurityManager.hpp>

#include "input/CharacterColumns.h"
#include "input/EntityExpansionLimit.h"
#include "input/InternalSubsetCapture.h"
#include "input/LocalEntityResolver.h"

// Parses a file with the same scanner and safeguards as the DOM parser and hands each element
// to a listener, with where its start tag ends and whether the file's own bytes hold it (an
// element from an entity's expansion does not stand in the file); and, to a listener that
// writes the document out, everything else it holds, in document order. Nothing is kept: memory
// does not grow with the file.
class QelElementParser : public xercesc::SAXParser {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        // The encoding the scanner read the file in, as it detected it from the first bytes and
        // as the XML declaration names it (empty when it names none).
        virtual void encoding(const XMLCh* detected, const XMLCh* declared) = 0;
        // entity: the innermost entity whose expansion holds the element, or null when the file
        // holds it. attrs holds the attributes in the order the file writes them, then those a
        // DTD supplies (getSpecified() false).
        virtual void startElement(const XMLCh* name, const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs,
                                  XMLSize_t attrCount, const XMLCh* entity, XMLFileLoc line,
                                  XMLFileLoc column) = 0;
        virtual void endElement() = 0;

        // The version the document's own declaration names (none: 1.0).
        virtual void version(const XMLCh* /*version*/) {}
        // Text and CDATA sections, each section in one piece; whitespace that a DTD calls
        // ignorable comes as text.
        virtual void characters(const XMLCh* /*chars*/, XMLSize_t /*length*/, bool /*cdata*/) {}
        virtual void comment(const XMLCh* /*text*/) {}
        virtual void processingInstruction(const XMLCh* /*target*/, const XMLCh* /*data*/) {}
        // Around the expansion of a reference to a general entity in content.
        virtual void startEntity(const XMLCh* /*name*/) {}
        virtual void endEntity() {}
        // Once the DOCTYPE has been read, with setKeepSubset(): its internal subset as the file
        // writes it, or null when that could not be taken from the file.
        virtual void doctype(const XMLCh* /*name*/, const XMLCh* /*publicId*/,
                             const XMLCh* /*systemId*/, const XMLCh* /*subset*/) {}
    };

    explicit QelElementParser(Listener& listener);
    ~QelElementParser() override = default;

    void setDocumentPath(const I18NString& path) { resolver.setDocumentPath(path); }
    // Columns in characters rather than the scanner's UTF-16 units; costs a look at each byte.
    void setCountColumns(bool count) { countColumns = count; }
    // Takes the DOCTYPE's internal subset from the file's bytes for the listener.
    void setKeepSubset(bool keep);
    void parse(const xercesc::InputSource& source) override;
    using SAXParser::parse;

    void doctypeDecl(const xercesc::DTDElementDecl& root, const XMLCh* const publicId,
                     const XMLCh* const systemId, const bool hasIntSubset,
                     const bool hasExtSubset) override;
    void startIntSubset() override;
    void endIntSubset() override;

private:
    class Forwarder : public xercesc::XMLDocumentHandler {
    public:
        Forwarder(QelElementParser& parser, Listener& listener)
            : parser(parser), listener(listener) {}

        void startDocument() override;
        void resetDocument() override {}
        void endDocument() override {}
        void XMLDecl(const XMLCh* const version, const XMLCh* const encoding,
                     const XMLCh* const standalone, const XMLCh* const detected) override;
        void startElement(const xercesc::XMLElementDecl& decl, const unsigned int urlId,
                          const XMLCh* const prefix,
                          const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs,
                          const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) override;
        void endElement(const xercesc::XMLElementDecl& decl, const unsigned int urlId,
                        const bool isRoot, const XMLCh* const prefix) override;
        void docCharacters(const XMLCh* const chars, const XMLSize_t length,
                           const bool cdata) override;
        void ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length,
                                 const bool cdata) override;
        void docComment(const XMLCh* const comment) override;
        void docPI(const XMLCh* const target, const XMLCh* const data) override;
        void startEntityReference(const xercesc::XMLEntityDecl& entity) override;
        void endEntityReference(const xercesc::XMLEntityDecl& entity) override;

    private:
        void count(XMLSize_t length);

        QelElementParser& parser;
        Listener& listener;
        EntityExpansionLimit expansion;
        std::vector<const XMLCh*> entities;  // names of the open expansions, innermost last
        bool declared = false;
    };

    void reportDoctype(const XMLCh* subset);

    bool countColumns = false;
    CharacterColumns columns;
    bool keepSubset = false;
    InternalSubsetCapture subset;
    std::u16string doctypeName, publicId, systemId;
    Listener& listener;
    xercesc::SecurityManager securityManager;
    LocalEntityResolver resolver;
    Forwarder forwarder;
};

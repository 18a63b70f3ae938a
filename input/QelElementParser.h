#pragma once

#include <vector>

#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/util/SecurityManager.hpp>

#include "input/CharacterColumns.h"
#include "input/EntityExpansionLimit.h"
#include "input/LocalEntityResolver.h"

// Parses a file with the same scanner and safeguards as the DOM parser and hands each element
// to a listener, with where its start tag ends and whether the file's own bytes hold it (an
// element from an entity's expansion does not stand in the file). Nothing is kept: memory does
// not grow with the file.
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
    };

    explicit QelElementParser(Listener& listener);
    ~QelElementParser() override = default;

    void setDocumentPath(const I18NString& path) { resolver.setDocumentPath(path); }
    // Columns in characters rather than the scanner's UTF-16 units; costs a look at each byte.
    void setCountColumns(bool count) { countColumns = count; }
    void parse(const xercesc::InputSource& source) override;
    using SAXParser::parse;

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

    bool countColumns = false;
    CharacterColumns columns;
    xercesc::SecurityManager securityManager;
    LocalEntityResolver resolver;
    Forwarder forwarder;
};

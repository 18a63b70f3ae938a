#pragma once

#include <string>

#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/util/SecurityManager.hpp>

#include "input/EntityExpansionLimit.h"
#include "input/EventLog.h"
#include "input/LocalEntityResolver.h"

// Parses a file with the same scanner and the same safeguards as the DOM parser, but keeps only
// what a comparison in document order needs, as an EventLog: no tree is built, which makes a
// load several times faster and far smaller.
class QelEventParser : public xercesc::SAXParser {
public:
    explicit QelEventParser(bool ignoreComments);
    ~QelEventParser() override = default;

    void setDocumentPath(const I18NString& path) { resolver.setDocumentPath(path); }
    const EventLog& events() const { return recorder.log; }

private:
    // Receives the scanner's events (the parser hands them on only to installed handlers).
    class Recorder : public xercesc::XMLDocumentHandler {
    public:
        Recorder(QelEventParser& parser, bool ignoreComments)
            : parser(parser), ignoreComments(ignoreComments) {}

        void startDocument() override;
        void resetDocument() override;
        void endDocument() override;
        void XMLDecl(const XMLCh* const, const XMLCh* const, const XMLCh* const,
                     const XMLCh* const) override {}
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

        EventLog log;

    private:
        bool inContent() const { return elementDepth > 0; }
        void flushText();
        void count(XMLSize_t length);

        QelEventParser& parser;
        const bool ignoreComments;
        EntityExpansionLimit expansion;
        std::u16string pendingText;
        long elementDepth = 0;
    };

    xercesc::SecurityManager securityManager;
    LocalEntityResolver resolver;
    Recorder recorder;
};

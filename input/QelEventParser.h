#pragma once

#include <string>

#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/util/SecurityManager.hpp>

#include "input/EntityExpansionLimit.h"
#include "input/EventLog.h"
#include "input/EventStream.h"
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
    // Hands the events to stream in chunks of about chunkEvents events (or a few megabytes)
    // instead of keeping them: events() then holds only what was not handed on yet.
    void streamTo(EventStream* stream, std::size_t chunkEvents = 16384) {
        recorder.stream = stream;
        recorder.chunkEvents = chunkEvents;
    }

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
        EventStream* stream = nullptr;
        std::size_t chunkEvents = 0;

    private:
        // Between two events: hands a full chunk on.
        void handOff(bool always = false);
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

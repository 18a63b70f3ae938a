#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/util/SecurityManager.hpp>

#include "input/CharacterColumns.h"
#include "input/EntityExpansionLimit.h"
#include "input/EventLog.h"
#include "input/EventStream.h"
#include "input/LocalEntityResolver.h"
#include "output/Selector.h"

// Parses a file with the same scanner and the same safeguards as the DOM parser, but keeps only
// what a comparison in document order needs, as an EventLog: no tree is built, which makes a
// load several times faster and far smaller. What the selectors of -i select is left out as it
// is read, exactly as if the tree's matches had been removed one selector after the other.
class QelEventParser : public xercesc::SAXParser {
public:
    // ignored (may be null) must outlive the parser.
    explicit QelEventParser(bool ignoreComments, const Selectors* ignored = nullptr);
    ~QelEventParser() override = default;

    void setDocumentPath(const I18NString& path) { resolver.setDocumentPath(path); }
    // Off by default, so that only a listing pays for it: gives elements, comments, processing
    // instructions and CDATA sections their places in the file (none inside entity expansions:
    // the scanner counts their lines in the entity's text), columns counted in characters.
    void setRecordPositions(bool record) { recordPositions = record; }
    void parse(const xercesc::InputSource& source) override;
    using SAXParser::parse;
    const EventLog& events() const { return recorder.log; }
    // For each ignored selector, in order, whether it selected anything in the last document
    // that the selectors before it had left.
    const std::vector<bool>& selectorsFound() const { return recorder.found; }
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
        Recorder(QelEventParser& parser, bool ignoreComments, const Selectors* ignored)
            : parser(parser), ignoreComments(ignoreComments), ignored(ignored) {}

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
        std::vector<bool> found;
        EventStream* stream = nullptr;
        std::size_t chunkEvents = 0;

    private:
        // Between two events: hands a full chunk on.
        void handOff(bool always = false);
        bool inContent() const { return elementDepth > 0; }
        // In the document element and outside every ignored element.
        bool recording() const { return elementDepth > 0 && !dropping(); }
        bool dropping() const { return !removedBy.empty() && removedBy.back() != kKept; }
        // Opens an element for the selectors: whether it is left out.
        bool openSelected(const xercesc::XMLElementDecl& decl,
                          const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs,
                          XMLSize_t attrCount, bool isEmpty);
        void closeSelected();
        // The value a DTD gives the attribute when the file leaves it out (null: none).
        static const XMLCh* defaultOf(const xercesc::XMLElementDecl& decl, const XMLCh* name);
        void flushText();
        void count(XMLSize_t length);
        // Places the event just logged where the scanner stands, when positions are recorded.
        void placeLast();

        static constexpr std::size_t kKept = static_cast<std::size_t>(-1);

        QelEventParser& parser;
        const bool ignoreComments;
        const Selectors* const ignored;
        // Per open element: the first selector that removes it or an element around it (kKept:
        // none), and its name; pathNames points into names.
        std::vector<std::size_t> removedBy;
        std::vector<std::u16string> names;
        std::vector<const XMLCh*> pathNames;
        // Per attribute of the element just opened.
        enum AttributeFate : char { Kept, Dropped, Defaulted };
        std::vector<AttributeFate> attributeDropped;
        EntityExpansionLimit expansion;
        std::u16string pendingText;
        long elementDepth = 0;
        std::u16string lastEncoding;
        bool utf = false;
    };

    xercesc::SecurityManager securityManager;
    LocalEntityResolver resolver;
    bool recordPositions = false;
    CharacterColumns columns;
    Recorder recorder;
};

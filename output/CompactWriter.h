#pragma once

#include <xercesc/framework/XMLFormatter.hpp>

// The form a rewritten file takes, one node at a time, in UTF-8 through an XMLFormatter: no
// indentation, CR LF after each top-level node, and no XML declaration but for an XML 1.1
// document, which would read as 1.0 without one. Characters that would read back otherwise
// become references. Both the tree writer and the removal that writes as it reads go through
// here, so that they write the same bytes.
class CompactWriter {
public:
    explicit CompactWriter(xercesc::XMLFormatTarget* target);
    ~CompactWriter();
    CompactWriter(const CompactWriter&) = delete;
    CompactWriter& operator=(const CompactWriter&) = delete;

    // Before anything else: whether the document is XML 1.1, and whether what is written is the
    // whole document, which then starts with the declaration that 1.1 needs.
    void version(bool xml11, bool wholeDocument);

    // A start tag is written as far as its attributes; closeStartTag() ends it, as "/>" when
    // the element has no children.
    void startTag(const XMLCh* name);
    void attribute(const XMLCh* name, const XMLCh* value);
    void closeStartTag(bool empty);
    void endTag(const XMLCh* name);

    // A text node may come in pieces; startsNode marks the first, as a text that starts with a
    // line feed is written after a CR (which reads back as nothing, where a CR of the text would
    // read as LF and join it). A piece never ends inside a surrogate pair.
    void text(const XMLCh* chars, XMLSize_t length, bool startsNode);
    void cdata(const XMLCh* chars, XMLSize_t length);
    void entityReference(const XMLCh* name);
    void processingInstruction(const XMLCh* target, const XMLCh* data);
    void comment(const XMLCh* text);
    // Literals are quoted with a quote they do not hold; the subset as the file wrote it.
    void doctype(const XMLCh* name, const XMLCh* publicId, const XMLCh* systemId,
                 const XMLCh* subset);
    // After each node that stands beside the document element.
    void endTopLevel();

private:
    void writeEscaped(const XMLCh* value, XMLSize_t length, bool attribute);
    void writeLiteral(const XMLCh* literal);

    xercesc::XMLFormatter formatter;
    bool xml11 = false;
};

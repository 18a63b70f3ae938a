#pragma once

#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/framework/XMLFormatter.hpp>

// Writes a DOM tree as XML text in UTF-8 through an XMLFormatter: no indentation, CR LF after
// each top-level node, and no XML declaration but for an XML 1.1 document, which would read as
// 1.0 without one. What is written reads back as the same tree: attributes the DTD supplies by
// default are left to it, and characters that would be read otherwise become references.
class OutputDomNode {
public:
    OutputDomNode() = default;
    virtual ~OutputDomNode();
    OutputDomNode(const OutputDomNode&) = delete;
    OutputDomNode& operator=(const OutputDomNode&) = delete;

    void output(xercesc::DOMNode* node, xercesc::XMLFormatTarget* target);

private:
    void outputNode(xercesc::DOMNode* node);
    // Writes what comes before a node's children (all of a node that has none); true when the
    // walk goes on into the children.
    bool openNode(xercesc::DOMNode* node);
    // Writes what follows a node's children.
    void closeNode(xercesc::DOMNode* node);
    // Writes text or an attribute value with the formatter's escapes; what those leave that
    // would not read back the same goes out as a character reference.
    void writeEscaped(const XMLCh* value, bool attribute);
    void writeLiteral(const XMLCh* literal);

    xercesc::XMLFormatter* formatter = nullptr;
    bool xml11 = false;
};

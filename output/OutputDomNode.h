#pragma once

#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/framework/XMLFormatter.hpp>

class CompactWriter;

// Writes a DOM tree in the compact form of a rewritten file (see CompactWriter). What is written
// reads back as the same tree: attributes the DTD supplies by default are left to it.
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

    CompactWriter* writer = nullptr;
};

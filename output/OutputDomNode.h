#pragma once

#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/framework/XMLFormatter.hpp>

// Writes a DOM tree as XML text in UTF-8 through an XMLFormatter: no XML declaration, no
// indentation, CR LF after each top-level node.
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

    xercesc::XMLFormatter* formatter = nullptr;
};

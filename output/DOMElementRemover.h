#pragma once

#include <vector>

#include <xercesc/dom/DOMNode.hpp>

// Element names as given on the command line, in order, duplicates kept. The strings are the
// caller's (the argument vector) and must outlive every use.
using ElementNames = std::vector<const char*>;

// Removes every element whose tag name is one of a list of names, with its subtree.
class DOMElementRemover {
public:
    DOMElementRemover() = default;
    virtual ~DOMElementRemover() = default;

    // Removes the elements from a document already loaded, inside entity references too (the
    // document must never be saved); quiet about what it removes.
    bool removeElementsFromDocument(xercesc::DOMNode*& root, const ElementNames& names);

private:
    bool removeElements();

    ElementNames namesToRemove;
    xercesc::DOMNode* rootNode = nullptr;
};

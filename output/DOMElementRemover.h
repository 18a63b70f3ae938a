#pragma once

#include <vector>

#include <xercesc/dom/DOMNode.hpp>

#include "support/I18NString.h"

// Element names as given on the command line, in order, duplicates kept. The strings are the
// caller's (the argument vector) and must outlive every use.
using ElementNames = std::vector<const char*>;

// Removes every element whose tag name is one of a list of names, with its subtree.
class DOMElementRemover {
public:
    DOMElementRemover() = default;
    virtual ~DOMElementRemover() = default;

    // Loads the file, removes the elements and saves the file when anything was removed.
    bool removeElementsFromFile(const I18NString& path, const ElementNames& names);
    // Removes the elements from a document already loaded; quiet about what it removes.
    bool removeElementsFromDocument(xercesc::DOMNode*& root, const ElementNames& names);

    bool initializeXerces();
    bool terminateXerces();

private:
    bool removeElements();
    void save();

    I18NString filePath;
    ElementNames namesToRemove;
    xercesc::DOMNode* rootNode = nullptr;
};

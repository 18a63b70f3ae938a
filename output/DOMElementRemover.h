#pragma once

#include <string>
#include <vector>

#include <xercesc/dom/DOMNode.hpp>

#include "support/I18NString.h"
#include "support/LockedFile.h"

class QelDOMParser;

// Element names as given on the command line, in order, duplicates kept. The strings are the
// caller's (the argument vector) and must outlive every use.
using ElementNames = std::vector<const char*>;

// Removes every element whose tag name is one of a list of names, with its subtree.
class DOMElementRemover {
public:
    DOMElementRemover() = default;
    virtual ~DOMElementRemover() = default;

    // Loads the file through file (opened and locked by the caller at path), removes the
    // elements and, when anything was removed, puts the new content in the file's place.
    bool removeElementsFromFile(const I18NString& path, const ElementNames& names,
                                LockedFile& file);
    // Reads the document from standard input, removes the elements and writes the whole
    // document, changed or not, to standard output.
    bool removeElementsFromStandardInput(const ElementNames& names);
    // Removes the elements from a document already loaded, inside entity references too (the
    // document must never be saved); quiet about what it removes.
    bool removeElementsFromDocument(xercesc::DOMNode*& root, const ElementNames& names);

    // Shows every match where it stands and writes nothing (-n).
    void setDryRun(bool dry) { dryRun = dry; }

    bool initializeXerces();
    bool terminateXerces();

private:
    bool removeElements();
    std::string positionOf(const xercesc::DOMNode* node) const;
    void save();

    I18NString filePath;
    ElementNames namesToRemove;
    xercesc::DOMNode* rootNode = nullptr;
    LockedFile* replaced = nullptr;
    bool dryRun = false;
    bool expansionsWritable = false;
    const QelDOMParser* positionsParser = nullptr;  // records where elements stand, under -n
};

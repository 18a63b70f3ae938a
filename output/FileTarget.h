#pragma once

#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/framework/XMLFormatter.hpp>

#include "support/I18NString.h"
#include "support/QelFmFile.h"

// The formatter's sink for a save: every chunk goes to the file, which replaces the old file
// only when commit() succeeds.
class FileTarget : public xercesc::XMLFormatTarget {
public:
    // Throws "Failed to open the file for saving".
    explicit FileTarget(const I18NString& path);
    // Replaces a file that the caller opened and locked (and keeps); the same failure.
    explicit FileTarget(LockedFile& replaced);
    ~FileTarget() override;

    void writeChars(const XMLByte* const toWrite, const XMLSize_t count,
                    xercesc::XMLFormatter* const formatter) override;
    // Puts the written bytes in place of the file; throws when any write, the close or the
    // replacement failed, and the old file then stays as it was.
    void commit();

private:
    QelFmFile file;
    int isOpen = 0;
    bool writeFailed = false;
};

// Writes the tree at root to path. Throws "An error occured while saving the DOM tree to the
// file." on any failure, leaving the file at path as it was.
void saveDocument(xercesc::DOMNode* root, const I18NString& path);

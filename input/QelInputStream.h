#pragma once

#include <xercesc/util/BinInputStream.hpp>

#include "support/I18NString.h"
#include "support/QelFmFile.h"

// Reads one file from its first byte, straight into the parser's buffer. Throws the narrow
// string "Failed to open the file for reading" when the file cannot be opened.
class QelInputStream : public xercesc::BinInputStream {
public:
    explicit QelInputStream(const I18NString& path);
    // Reads a file already open, from its first byte, through a duplicate of descriptor.
    explicit QelInputStream(int descriptor);
    ~QelInputStream() override;
    XMLFilePos curPos() const override;
    XMLSize_t readBytes(XMLByte* const toFill, const XMLSize_t maxToRead) override;
    const XMLCh* getContentType() const override { return nullptr; }

private:
    QelFmFile* file = nullptr;
    bool isOpen = false;
    // Counted rather than asked of the file: a pipe has no offset.
    XMLFilePos consumed = 0;
};

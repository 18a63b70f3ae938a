#pragma once

#include <xercesc/sax/InputSource.hpp>

#include "support/I18NString.h"

// Hands the parser a file read through QelFmFile. The path is the caller's and must outlive
// the source and every stream made from it. With a descriptor (the caller's, kept open while the
// source is in use) the file is read through it instead of being opened by its name.
class QelInputSource : public xercesc::InputSource {
public:
    explicit QelInputSource(const I18NString* fileName, int descriptor = -1);
    ~QelInputSource() override = default;
    xercesc::BinInputStream* makeStream() const override;

private:
    const I18NString* fileName;
    int descriptor;
};

#pragma once

#include <xercesc/sax/InputSource.hpp>

#include "support/I18NString.h"

// Hands the parser a file read through QelFmFile. The path is the caller's and must outlive
// the source and every stream made from it.
class QelInputSource : public xercesc::InputSource {
public:
    explicit QelInputSource(const I18NString* fileName);
    ~QelInputSource() override = default;
    xercesc::BinInputStream* makeStream() const override;

private:
    const I18NString* fileName;
};

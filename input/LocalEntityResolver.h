#pragma once

#include <deque>
#include <string>

#include <xercesc/util/XMLEntityResolver.hpp>

#include "support/I18NString.h"

// Resolves a relative system id of a DTD or an external entity against the directory of the
// document or DTD that names it, not against the working directory, and reads it through
// QelFmFile. System ids with a URI scheme are left to the library.
class LocalEntityResolver : public xercesc::XMLEntityResolver {
public:
    // The path of the document about to be parsed, as typed.
    void setDocumentPath(const I18NString& path);
    xercesc::InputSource* resolveEntity(xercesc::XMLResourceIdentifier* resource) override;

private:
    std::u16string documentDirectory;
    std::deque<I18NString> paths;  // the sources made here refer to these
};

#pragma once

#include <deque>
#include <string>

#include <xercesc/util/XMLEntityResolver.hpp>

#include "support/I18NString.h"

// Thrown out of a parse that would need the network: the load stops there, and the loader
// reports it in the library's form, as a fatal error at the place that names the address.
struct NetworkRefused {
    std::u16string address;
    std::u16string systemId;  // of the entity that names it
    XMLFileLoc line = 0;
    XMLFileLoc column = 0;
};

// Resolves a relative system id of a DTD or an external entity against the directory of the
// document or DTD that names it, not against the working directory, and reads it through
// QelFmFile. Public ids and URLs go through the machine's XML catalogs first; a file: URL is a
// path; any other URL is never fetched (NetworkRefused).
class LocalEntityResolver : public xercesc::XMLEntityResolver {
public:
    // The path of the document about to be parsed, as typed.
    void setDocumentPath(const I18NString& path);
    xercesc::InputSource* resolveEntity(xercesc::XMLResourceIdentifier* resource) override;

private:
    xercesc::InputSource* localSource(const std::u16string& path);

    std::u16string documentDirectory;
    std::deque<I18NString> paths;  // the sources made here refer to these
};

#pragma once

#include <string>

// The machine's XML catalogs (/etc/xml/catalog, or the files named by XML_CATALOG_FILES), as
// the other XML tools on the machine read them: where a DTD or an entity named by a public id
// or by a URL has a local copy. Safe to call from several loads at once.
namespace XmlCatalog {

// The local file for the ids (UTF-8, either may be empty), or an empty string when the catalogs
// know neither. A catalog entry that points to the network is no local file.
std::string resolve(const std::string& publicId, const std::string& systemId);

}  // namespace XmlCatalog

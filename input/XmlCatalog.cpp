#include "input/XmlCatalog.h"

#include <cstdlib>
#include <mutex>

#include <libxml/catalog.h>
#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>

#include "input/FileUrl.h"

namespace {

std::mutex catalogMutex;

void ignoreMessage(void*, const char*, ...) {}

void start() {
    xmlInitParser();
    // Nothing on standard error, and catalogs read from local files only: a catalog that
    // names another by URL does not make us reach out.
    xmlSetGenericErrorFunc(nullptr, ignoreMessage);
    xmlCleanupInputCallbacks();
    xmlRegisterInputCallbacks(xmlFileMatch, xmlFileOpen, xmlFileRead, xmlFileClose);
    xmlInitializeCatalog();
}

}  // namespace

std::string XmlCatalog::resolve(const std::string& publicId, const std::string& systemId) {
    static std::once_flag started;
    std::call_once(started, start);
    std::lock_guard<std::mutex> lock(catalogMutex);
    xmlChar* found =
        xmlCatalogResolve(publicId.empty() ? nullptr : reinterpret_cast<const xmlChar*>(publicId.c_str()),
                          systemId.empty() ? nullptr : reinterpret_cast<const xmlChar*>(systemId.c_str()));
    if (!found) return std::string();
    const std::string uri(reinterpret_cast<const char*>(found));
    xmlFree(found);
    std::string path;
    if (uri.compare(0, 1, "/") == 0) return uri;
    return fileUrlToPath(uri, path) ? path : std::string();
}

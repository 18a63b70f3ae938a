#include "input/LocalEntityResolver.h"

#include <xercesc/sax/Locator.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>

#include "input/FileUrl.h"
#include "input/QelInputSource.h"
#include "input/XmlCatalog.h"
#include "support/Utf8.h"

namespace {

std::u16string directoryOf(const std::u16string& path) {
    const auto slash = path.rfind(u'/');
    if (slash == std::u16string::npos) return std::u16string();
    return path.substr(0, slash + 1);
}

bool hasScheme(const std::u16string& id) {
    const auto colon = id.find(u':');
    if (colon == std::u16string::npos || colon < 2) return false;  // one letter: not a scheme here
    for (size_t i = 0; i < colon; ++i) {
        const char16_t c = id[i];
        const bool alpha = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!alpha && !(i > 0 && other)) return false;
    }
    return true;
}

// A DTD or entity that cannot be opened is the library's to report, as a fatal error that names
// it, not a failure of the whole load: a null stream makes the library do that.
class LocalFileSource : public QelInputSource {
public:
    using QelInputSource::QelInputSource;
    xercesc::BinInputStream* makeStream() const override {
        try {
            return QelInputSource::makeStream();
        } catch (const char*) {
            return nullptr;
        }
    }
};

}  // namespace

void LocalEntityResolver::setDocumentPath(const I18NString& path) {
    documentDirectory = directoryOf(path.text());
}

xercesc::InputSource* LocalEntityResolver::resolveEntity(xercesc::XMLResourceIdentifier* resource) {
    const XMLCh* systemId = resource->getSystemId();
    const XMLCh* publicId = resource->getPublicId();
    const std::u16string id = systemId ? systemId : u"";
    const std::u16string pub = publicId ? publicId : u"";
    const bool url = hasScheme(id);
    if (url || !pub.empty()) {
        const std::string local = XmlCatalog::resolve(encodeUtf8(pub), encodeUtf8(id));
        if (!local.empty()) return localSource(decodeUtf8(local));
    }
    if (url) {
        std::string path;
        if (fileUrlToPath(encodeUtf8(id), path)) return localSource(decodeUtf8(path));
        NetworkRefused refused;
        refused.address = id;
        if (const xercesc::Locator* at = resource->getLocator()) {
            if (at->getSystemId()) refused.systemId = at->getSystemId();
            refused.line = at->getLineNumber();
            refused.column = at->getColumnNumber();
        }
        throw refused;
    }
    if (resource->getResourceIdentifierType() != xercesc::XMLResourceIdentifier::ExternalEntity)
        return nullptr;
    if (id.empty()) return nullptr;

    std::u16string joined = id;
    if (id[0] != u'/') {
        const XMLCh* base = resource->getBaseURI();
        const std::u16string baseDir =
            (base && *base && !hasScheme(base)) ? directoryOf(base) : documentDirectory;
        joined = baseDir + id;
    }
    return localSource(joined);
}

xercesc::InputSource* LocalEntityResolver::localSource(const std::u16string& path) {
    paths.emplace_back(path);
    auto* source = new LocalFileSource(&paths.back());
    source->setSystemId(paths.back().getExternalBuffer());
    return source;
}

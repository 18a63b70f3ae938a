#include "support/I18NString.h"

#include <cstring>

#include "support/QelException.h"
#include "support/Utf8.h"

const char* I18NGetPlatformDefaultEncoding() { return "UTF-8"; }

void checkEncoding(const char* encoding) {
    if (encoding && strcasecmp(encoding, "UTF-8") != 0 && strcasecmp(encoding, "UTF8") != 0)
        throw QelException(std::string("Unsupported encoding: ") + encoding);
}

I18NString::I18NString(const char* bytes, const char* encoding, int length, I18NAllocCallback,
                       void*) {
    checkEncoding(encoding);
    if (!bytes) return;
    const size_t size = length < 0 ? std::strlen(bytes) : static_cast<size_t>(length);
    text_ = decodeUtf8(std::string_view(bytes, size));
}

const char* I18NString::toBytes(const char* encoding, int* length, I18NAllocCallback,
                                void*) const {
    checkEncoding(encoding);
    bytes_ = encodeUtf8(text_);
    if (length) *length = static_cast<int>(bytes_.size());
    return bytes_.c_str();
}

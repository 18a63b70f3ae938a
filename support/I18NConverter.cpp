#include "support/I18NConverter.h"

#include <cstring>

#include "support/Utf8.h"

I18NConverter::I18NConverter(const char* encoding) { checkEncoding(encoding); }

void I18NConverter::fromUnicode(char** bytes, int* length, const I18NString& text,
                                I18NAllocCallback, void*) const {
    const std::string encoded = encodeUtf8(text.text());
    char* out = new char[encoded.size() + 1];
    std::memcpy(out, encoded.c_str(), encoded.size() + 1);
    *bytes = out;
    if (length) *length = static_cast<int>(encoded.size());
}

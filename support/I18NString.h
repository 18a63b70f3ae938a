#pragma once

#include <cstddef>
#include <string>

using I18NAllocCallback = void* (*)(std::size_t size, void* context);

// The platform's default encoding for narrow strings: paths, arguments and console output.
const char* I18NGetPlatformDefaultEncoding();

// Unicode text held as UTF-16. Narrow text is UTF-8; see Utf8.h for bytes that are not.
class I18NString {
public:
    I18NString() = default;
    // encoding null or "UTF-8"; length -1 means up to the NUL. Callback and context are unused.
    I18NString(const char* bytes, const char* encoding, int length, I18NAllocCallback callback,
               void* context);
    explicit I18NString(const std::u16string& text) : text_(text) {}

    const char16_t* getExternalBuffer() const { return text_.c_str(); }
    const std::u16string& text() const { return text_; }
    bool empty() const { return text_.empty(); }

    // The text as NUL-terminated narrow bytes, valid until the string changes or goes away.
    const char* toBytes(const char* encoding, int* length, I18NAllocCallback callback,
                        void* context) const;

private:
    std::u16string text_;
    mutable std::string bytes_;
};

// Checks an encoding name given to the layer; only the default encoding is known.
void checkEncoding(const char* encoding);

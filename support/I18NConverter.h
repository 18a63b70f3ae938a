#pragma once

#include "support/I18NString.h"

// Converts Unicode text to narrow bytes in one named encoding.
class I18NConverter {
public:
    explicit I18NConverter(const char* encoding);

    // Stores in *bytes a new NUL-terminated string that the caller releases with delete[].
    void fromUnicode(char** bytes, int* length, const I18NString& text, I18NAllocCallback callback,
                     void* context) const;
};

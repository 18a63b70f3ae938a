#pragma once

#include <string>
#include <string_view>

// UTF-8 <-> UTF-16 that never loses a byte: a byte that is not part of valid UTF-8 becomes the
// lone surrogate U+DC00+byte and turns back into the same byte, so a path that is not valid
// UTF-8 survives the round trip.
std::u16string decodeUtf8(std::string_view bytes);
std::string encodeUtf8(std::u16string_view text);
std::string encodeUtf8(const char16_t* text);

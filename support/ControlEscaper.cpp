#include "support/ControlEscaper.h"

#include <cstdio>
#include <iostream>

void ControlEscaper::installOnStandardOutput() {
    // Never destroyed: std::cout is flushed after every static object is gone.
    static ControlEscaper* const escaper = new ControlEscaper(std::cout.rdbuf());
    std::cout.rdbuf(escaper);
}

bool ControlEscaper::putEscape(unsigned code) {
    // \x1B for a byte, \u0085 for a character written in two bytes (also valid inside JSON).
    char text[8];
    const int length = code < 0x80 ? std::snprintf(text, sizeof text, "\\x%02X", code)
                                    : std::snprintf(text, sizeof text, "\\u%04X", code);
    return target->sputn(text, length) == length;
}

bool ControlEscaper::put(unsigned char c) {
    if (leadC2) {
        leadC2 = false;
        if (c >= 0x80 && c <= 0x9F) return putEscape(c);
        if (target->sputc(static_cast<char>(0xC2)) == traits_type::eof()) return false;
    }
    if (c == 0xC2) {
        leadC2 = true;
        return true;
    }
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return putEscape(c);
    return target->sputc(static_cast<char>(c)) != traits_type::eof();
}

ControlEscaper::int_type ControlEscaper::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return put(static_cast<unsigned char>(traits_type::to_char_type(c))) ? c : traits_type::eof();
}

std::streamsize ControlEscaper::xsputn(const char* s, std::streamsize n) {
    for (std::streamsize i = 0; i < n; ++i)
        if (!put(static_cast<unsigned char>(s[i]))) return i;
    return n;
}

int ControlEscaper::sync() {
    // A lone 0xC2 at a flush is not yet decided; it goes out with the next byte or at the end.
    return target->pubsync();
}

#include "compare/DifferenceJson.h"

#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at bytes[i], or 0 when it is not one.
std::size_t sequenceAt(const std::string& bytes, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char c = at(i);
    if (c < 0x80) return 1;
    std::size_t length;
    unsigned long code;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (at(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and what lies beyond U+10FFFF are not UTF-8.
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

std::string side(const ListedSide& s) {
    std::string out = "{\"line\": ";
    out += s.placed ? std::to_string(s.line) : "null";
    out += ", \"column\": ";
    out += s.placed ? std::to_string(s.column) : "null";
    out += ", \"kind\": " + jsonString(s.kind);
    if (s.hasName) out += ", \"name\": " + jsonString(s.name);
    if (s.hasValue) out += ", \"value\": " + jsonString(s.value);
    return out + "}";
}

}  // namespace

std::string jsonString(const std::string& bytes) {
    std::string out = "\"";
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = sequenceAt(bytes, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        } else {
            out.append(bytes, i, length);
        }
        i += length;
    }
    return out + "\"";
}

std::string differencesAsJson(int result, const std::string& file1, const std::string& file2,
                              const std::vector<ListedDifference>& differences,
                              const std::string& error) {
    std::string out = "{\"same\": ";
    out += result == 0 ? "true" : result == 1 ? "false" : "null";
    out += ", \"file1\": " + jsonString(file1) + ", \"file2\": " + jsonString(file2);
    if (result != 0 && result != 1) return out + ", \"error\": " + jsonString(error) + "}\n";
    out += ", \"differences\": [";
    for (std::size_t n = 0; n < differences.size(); ++n) {
        const ListedDifference& d = differences[n];
        out += n ? ",\n  " : "\n  ";
        out += "{\"path\": " + jsonString(d.path) + ", \"file1\": " + side(d.original) +
               ", \"file2\": " + side(d.compare) + "}";
    }
    out += differences.empty() ? "]}\n" : "\n]}\n";
    return out;
}

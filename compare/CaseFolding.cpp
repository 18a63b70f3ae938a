#include "compare/CaseFolding.h"

#include <xercesc/util/XMLString.hpp>

#include "input/EventLog.h"

using namespace xercesc;

namespace {

constexpr char32_t kUnknown = 0xFFFFFFFF;

bool isLead(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isTrail(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool isSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDFFF; }

// One code point, NUL-terminated, as UTF-16.
struct Utf16Char {
    explicit Utf16Char(char32_t c) {
        if (c >= 0x10000) {
            units[0] = static_cast<XMLCh>(0xD800 + ((c - 0x10000) >> 10));
            units[1] = static_cast<XMLCh>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            units[0] = static_cast<XMLCh>(c);
        }
    }
    XMLCh units[3] = {0, 0, 0};
};

// Reads the code point at s and advances s; a lone surrogate stands for itself.
char32_t next(const XMLCh*& s) {
    const char32_t u = *s++;
    if (isLead(u) && isTrail(*s)) return 0x10000 + ((u - 0xD800) << 10) + (*s++ - 0xDC00);
    return u;
}

const XMLCh kEmpty[] = {0};

const XMLCh* orEmpty(const XMLCh* s) { return s ? s : kEmpty; }

}  // namespace

CaseFolding::CaseFolding(bool useTable) : basic_(0x10000, kUnknown) {
    trusted_ = useTable && verify();
}

char32_t CaseFolding::foldFromLibrary(char32_t c) const {
    const Utf16Char one(c);
    return static_cast<char32_t>(XMLString::compareIString(one.units, kEmpty));
}

char32_t CaseFolding::fold(char32_t c) {
    if (c < 0x10000) {
        char32_t& slot = basic_[c];
        // A lone surrogate is never handed to the library: it would read past the end.
        if (slot == kUnknown) slot = isSurrogate(c) || c == 0 ? c : foldFromLibrary(c);
        return slot;
    }
    auto found = supplementary_.find(c);
    if (found != supplementary_.end()) return found->second;
    const char32_t f = foldFromLibrary(c);
    supplementary_.emplace(c, f);
    return f;
}

// Checks that the library compares by folded code points as described above: ASCII folds to
// lower case, a supplementary pair folds as one code point, and folding is idempotent and
// agrees with the library's own comparison.
bool CaseFolding::verify() {
    if (fold(U'A') != U'a' || fold(U'a') != U'a') return false;
    if (fold(0x10400) != 0x10428) return false;  // DESERET CAPITAL LONG I
    const char32_t samples[] = {U'A', U'z', 0xC9, 0xDF, 0x130, 0x131, 0x3A3, 0x3C2,
                                0x212A, 0x1E9E, 0xFF21, 0x10400, 0x10428, 0x1E900};
    for (char32_t c : samples) {
        const char32_t f = fold(c);
        if (f == 0 || f > 0x10FFFF || isSurrogate(f) || fold(f) != f) return false;
        const Utf16Char original(c), folded(f);
        if (XMLString::compareIString(original.units, folded.units) != 0) return false;
    }
    const XMLCh upper[] = {u'A', u'b', 0xC9, 0xD801, 0xDC00, 0};
    const XMLCh lower[] = {u'a', u'B', 0xE9, 0xD801, 0xDC28, 0};
    return XMLString::compareIString(upper, lower) == 0 && compare(upper, lower) == 0;
}

bool CaseFolding::equal(const XMLCh* a, const XMLCh* b) {
    a = orEmpty(a);
    b = orEmpty(b);
    if (a == b) return true;
    if (!trusted_) return XMLString::compareIString(a, b) == 0;
    return compare(a, b) == 0;
}

int CaseFolding::compare(const XMLCh* a, const XMLCh* b) {
    a = orEmpty(a);
    b = orEmpty(b);
    for (;;) {
        const char32_t x = *a;
        const char32_t y = *b;
        // Fast path for identical units outside the surrogate range.
        if (x == y && !isSurrogate(x)) {
            if (x == 0) return 0;
            ++a;
            ++b;
            continue;
        }
        const char32_t fx = fold(next(a));
        const char32_t fy = fold(next(b));
        if (fx != fy) return fx < fy ? -1 : 1;
    }
}

std::uint64_t CaseFolding::hash(const XMLCh* s, std::uint64_t seed) {
    std::uint64_t h = seed ^ 0xcbf29ce484222325ULL;
    for (s = orEmpty(s); *s;) {
        h ^= fold(next(s));
        h *= 0x100000001b3ULL;
    }
    h ^= 0xFF;  // end marker, so that "ab"+"c" and "a"+"bc" differ when chained
    return h * 0x100000001b3ULL;
}

const XMLCh* CaseFolding::units(std::string_view s, std::u16string& out) {
    out.clear();
    EventLog::appendUtf16(s, out);
    return out.c_str();
}

bool CaseFolding::equal(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (!trusted_) return XMLString::compareIString(units(a, left_), units(b, right_)) == 0;
    return compare(a, b) == 0;
}

// Code point by code point, as for UTF-16: the end of a string reads as 0.
int CaseFolding::compare(std::string_view a, std::string_view b) {
    const char *p = a.data(), *q = b.data();
    const char* const endP = p + a.size();
    const char* const endQ = q + b.size();
    for (;;) {
        // Identical ASCII folds alike.
        while (p < endP && q < endQ && *p == *q && static_cast<unsigned char>(*p) < 0x80) {
            ++p;
            ++q;
        }
        if (p == endP && q == endQ) return 0;
        const char32_t fx = p < endP ? fold(EventLog::next(p)) : 0;
        const char32_t fy = q < endQ ? fold(EventLog::next(q)) : 0;
        if (fx != fy) return fx < fy ? -1 : 1;
    }
}

std::uint64_t CaseFolding::hash(std::string_view s, std::uint64_t seed) {
    std::uint64_t h = seed ^ 0xcbf29ce484222325ULL;
    for (const char *p = s.data(), *end = p + s.size(); p < end;) {
        h ^= fold(EventLog::next(p));
        h *= 0x100000001b3ULL;
    }
    h ^= 0xFF;
    return h * 0x100000001b3ULL;
}

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <xercesc/util/XercesDefs.hpp>

// Letter-case folding that agrees with XMLString::compareIString, so that strings can be sorted
// and hashed by what that comparison treats as equal. Needs an initialised Xerces.
//
// compareIString (ICU service) folds code point by code point and returns folded1 - folded2 at
// the first difference, so compareIString(c, "") is the fold of c. The table is filled from that
// on first use of each character. When the library does not behave that way (checked once at
// construction) trusted() is false and callers must compare pairwise with compareIString.
class CaseFolding {
public:
    // useTable false forces the pairwise fallback, as if the check had failed.
    explicit CaseFolding(bool useTable = true);

    bool trusted() const { return trusted_; }

    // Equal ignoring case, exactly as compareIString() == 0. Null counts as "".
    bool equal(const XMLCh* a, const XMLCh* b);
    // A total order on the folded strings (only when trusted); 0 exactly when equal().
    int compare(const XMLCh* a, const XMLCh* b);
    // Hash of the folded string (only when trusted); equal strings hash alike.
    std::uint64_t hash(const XMLCh* s, std::uint64_t seed);
    // The same three for text as an EventLog holds it (UTF-8), with the same results as for
    // the UTF-16 it was made from.
    bool equal(std::string_view a, std::string_view b);
    int compare(std::string_view a, std::string_view b);
    std::uint64_t hash(std::string_view s, std::uint64_t seed);
    // Spreads the bits of a value, for combining hashes.
    static std::uint64_t mix(std::uint64_t h) {
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        h *= 0xc4ceb9fe1a85ec53ULL;
        return h ^ (h >> 33);
    }

private:
    char32_t fold(char32_t c);
    char32_t foldFromLibrary(char32_t c) const;
    bool verify();
    // UTF-16 of log text, NUL-terminated, for the library's own comparison.
    const XMLCh* units(std::string_view s, std::u16string& out);

    std::vector<char32_t> basic_;  // one entry per UTF-16 unit, kUnknown until first use
    std::unordered_map<char32_t, char32_t> supplementary_;
    bool trusted_ = false;
    std::u16string left_, right_;  // units() for the pairwise fallback
};

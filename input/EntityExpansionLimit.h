#pragma once

#include <xercesc/internal/XMLScanner.hpp>

// Bounds the characters that entity references add to a document's content. The library's own
// limit counts expansions only, so a few thousand references to one large entity could still
// build gigabytes ("quadratic blowup").
class EntityExpansionLimit {
public:
    static constexpr XMLSize_t kLimit = XMLSize_t(1) << 24;

    void reset() {
        depth = 0;
        expanded = 0;
    }
    void enter() { ++depth; }
    void leave() { --depth; }
    bool inside() const { return depth > 0; }

    // Counts text an expansion adds; past the limit the scanner gets a fatal error, which ends
    // the parse like the library's own.
    void count(XMLSize_t length, xercesc::XMLScanner& scanner);

private:
    int depth = 0;
    XMLSize_t expanded = 0;
};

#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include <xercesc/sax/InputSource.hpp>

// The scanner counts columns in UTF-16 units, so a character outside the Basic Multilingual
// Plane (an emoji) takes two. This watches the document's bytes as the scanner reads them and
// notes where such characters stand, so that a column can be given in characters.
class CharacterColumns {
public:
    // A source that reads document and shows every byte read here first; it lives as long as
    // the parse.
    std::unique_ptr<xercesc::InputSource> watch(const xercesc::InputSource& document);
    void clear();

    // The column in characters of a place the scanner gives in UTF-16 units. Only a file in
    // UTF-8 or UTF-16 is counted (utf: whether the scanner read it so).
    XMLFileLoc column(XMLFileLoc line, XMLFileLoc unitColumn, bool utf) const;

    void feed(const unsigned char* bytes, std::size_t count);

private:
    void unit(std::uint32_t unit);  // one UTF-16 unit, or one byte of UTF-8

    enum class Form { Unknown, Bytes, Utf16LE, Utf16BE } form = Form::Unknown;
    std::vector<unsigned char> start;  // the first bytes, until the form is known
    int oddByte = -1;                  // half a UTF-16 unit
    int continuation = 0;              // UTF-8 bytes still to come of a character
    bool lowSurrogate = false;         // the next UTF-16 unit ends a pair
    bool afterCarriageReturn = false;
    bool started = false;
    XMLFileLoc line = 1;
    XMLFileLoc unitColumn = 1;
    // For each line that holds any, the unit columns where such characters start.
    std::map<XMLFileLoc, std::vector<XMLFileLoc>> astral;
};

// Whether the scanner reads a file in UTF-8 or UTF-16 (by the name of its encoding).
bool readsUtf(const XMLCh* encoding);

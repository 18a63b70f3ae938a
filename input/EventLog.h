#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "support/GrowingArray.h"

// The content of a document's element, as a flat list of what a tree would hold, built while
// the file is parsed. What a diff never compares is left out on the way in, inside entity
// references as everywhere else: whitespace-only text, comments when they are ignored, and what
// -i selects.
//
// Kept small, since -o holds two whole documents: an event is 12 bytes, and names and values
// live in one arena as UTF-8, each after its length, with nothing stored for an empty one. A
// lone surrogate (which well-formed text never holds) is written as its own three bytes, so
// that the text read back is exactly the UTF-16 it was made from.
class EventLog {
public:
    enum Kind : std::uint8_t {
        ElementStart,    // name; the next `count` events are its attributes
        Attribute,       // name and value
        ElementEnd,
        Text,            // value
        Cdata,           // value
        Comment,         // value
        Instruction,     // name is the target, value the data
        EntityStart,     // name
        EntityEnd,
    };

    struct Event {
        std::uint32_t count;  // attributes of an element start, else 0
        Kind kind;
        std::uint8_t parts;  // kName, kValue: which of the two the arena holds; kPlaced
        std::uint16_t atHigh;
        std::uint32_t atLow;  // with atHigh: where its name, then its value, start in the arena
    };
    static_assert(sizeof(Event) == 12, "an event stays small");

    // Text that a diff never compares: only the units 1 to 13 and blanks (or nothing).
    static bool isBlank(const char16_t* text, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i)
            if (text[i] > 13 && text[i] != 32) return false;
        return true;
    }

    // Reads the code point at p, as the arena holds it, and moves p past it.
    static char32_t next(const char*& p) {
        const auto byte = [&](int k) { return static_cast<char32_t>(p[k]) & 0x3F; };
        const auto lead = static_cast<unsigned char>(*p);
        char32_t c;
        if (lead < 0x80) {
            c = lead;
            p += 1;
        } else if (lead < 0xE0) {
            c = (lead & 0x1Fu) << 6 | byte(1);
            p += 2;
        } else if (lead < 0xF0) {
            c = (lead & 0x0Fu) << 12 | byte(1) << 6 | byte(2);
            p += 3;
        } else {
            c = (lead & 0x07u) << 18 | byte(1) << 12 | byte(2) << 6 | byte(3);
            p += 4;
        }
        return c;
    }

    // Where an event stands in its file (a start tag's end, a comment's end, ...): only the
    // elements, comments, processing instructions and CDATA sections that the file's own bytes
    // hold get one, and only when a parser records positions.
    struct Place {
        std::uint64_t line;
        std::uint64_t column;
    };

    // Text as the arena holds it, back to the UTF-16 it was made from.
    static std::u16string toUtf16(std::string_view text) {
        std::u16string out;
        appendUtf16(text, out);
        return out;
    }
    static void appendUtf16(std::string_view text, std::u16string& out) {
        for (const char *p = text.data(), *end = p + text.size(); p < end;) {
            const char32_t c = next(p);
            if (c >= 0x10000) {
                out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                out += static_cast<char16_t>(c);
            }
        }
    }

    void clear() {
        events_.clear();
        arena_.clear();
        places_.clear();
        countedTo_ = countedPlaces_ = 0;
    }
    void add(Kind kind, const char16_t* name, std::size_t nameLength, const char16_t* value,
             std::size_t valueLength, std::uint32_t count = 0) {
        const std::size_t at = arena_.size();
        // Offsets have 48 bits: past them (256 TB) the log refuses instead of wrapping.
        if (at >> 48) throw std::bad_alloc();
        std::uint8_t parts = 0;
        if (nameLength > 0) {
            put(name, nameLength);
            parts |= kName;
        }
        if (valueLength > 0) {
            put(value, valueLength);
            parts |= kValue;
        }
        events_.push_back({count, kind, parts, static_cast<std::uint16_t>(at >> 32),
                           static_cast<std::uint32_t>(at)});
    }

    // Gives the event just added its place.
    void place(std::uint64_t line, std::uint64_t column) {
        events_[events_.size() - 1].parts |= kPlaced;
        places_.push_back({line, column});
    }
    static bool placed(const Event& e) { return e.parts & kPlaced; }
    // The places, in the order of the events that have one.
    const GrowingArray<Place>& places() const { return places_; }

    // Adds the events [from, to) of another log (an element start with all its attributes,
    // never half of it), with their places.
    void append(const EventLog& other, std::size_t from, std::size_t to) {
        if (from >= to) return;
        std::size_t place = other.placesBefore(from);
        for (std::size_t i = from; i < to; ++i) {
            Event e = other.events_[i];
            const std::size_t at = arena_.size();
            if (at >> 48) throw std::bad_alloc();
            if (e.parts & (kName | kValue)) {
                const char* begin = other.start(e);
                const char* end = begin;
                if (e.parts & kName) read(end);
                if (e.parts & kValue) read(end);
                const auto bytes = static_cast<std::size_t>(end - begin);
                std::copy(begin, end, arena_.extend(bytes));
                arena_.commit(bytes);
            }
            e.atHigh = static_cast<std::uint16_t>(at >> 32);
            e.atLow = static_cast<std::uint32_t>(at);
            events_.push_back(e);
            if (placed(e)) places_.push_back(other.places_[place++]);
        }
    }

    // Adds the element start at i of another log without its attributes, with its place.
    void appendStart(const EventLog& other, std::size_t i) {
        append(other, i, i + 1);
        events_[events_.size() - 1].count = 0;
    }

    // How many events before event i have a place: counted on from the last question, since
    // a log is mostly read front to back.
    std::size_t placesBefore(std::size_t i) const {
        if (i < countedTo_) countedTo_ = countedPlaces_ = 0;
        for (; countedTo_ < i; ++countedTo_) countedPlaces_ += placed(events_[countedTo_]);
        return countedPlaces_;
    }

    const GrowingArray<Event>& events() const { return events_; }
    // Bytes held for names and values.
    std::size_t arenaSize() const { return arena_.size(); }
    // Empty when the event has none.
    std::string_view name(const Event& e) const {
        if (!(e.parts & kName)) return {};
        const char* p = start(e);
        return read(p);
    }
    std::string_view value(const Event& e) const {
        if (!(e.parts & kValue)) return {};
        const char* p = start(e);
        if (e.parts & kName) read(p);
        return read(p);
    }

private:
    static constexpr std::uint8_t kName = 1, kValue = 2, kPlaced = 4;

    const char* start(const Event& e) const {
        return arena_.data() + (std::size_t{e.atHigh} << 32 | e.atLow);
    }
    // A length (7 bits a byte, low bits first), then that many bytes; p moves past them.
    static std::string_view read(const char*& p) {
        std::size_t length = 0;
        for (int shift = 0;; shift += 7) {
            const auto b = static_cast<unsigned char>(*p++);
            length |= std::size_t{b & 0x7Fu} << shift;
            if (b < 0x80) break;
        }
        const std::string_view text(p, length);
        p += length;
        return text;
    }
    void put(const char16_t* text, std::size_t length) {
        const auto lead = [](char32_t u) { return u >= 0xD800 && u <= 0xDBFF; };
        const auto trail = [](char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const char32_t u = text[i];
            bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;  // a pair: twice 2
            if (lead(u) && i + 1 < length && trail(text[i + 1])) {
                bytes += 1;
                ++i;
            }
        }
        if (length > (std::size_t{1} << 60)) throw std::bad_alloc();
        char* out = arena_.extend(10 + bytes);
        char* const begin = out;
        for (std::size_t n = bytes; ; n >>= 7) {
            if (n < 0x80) {
                *out++ = static_cast<char>(n);
                break;
            }
            *out++ = static_cast<char>(0x80 | (n & 0x7F));
        }
        for (std::size_t i = 0; i < length; ++i) {
            char32_t u = text[i];
            if (u < 0x80) {
                *out++ = static_cast<char>(u);
            } else if (u < 0x800) {
                *out++ = static_cast<char>(0xC0 | u >> 6);
                *out++ = static_cast<char>(0x80 | (u & 0x3F));
            } else if (lead(u) && i + 1 < length && trail(text[i + 1])) {
                u = 0x10000 + ((u - 0xD800) << 10) + (text[++i] - 0xDC00);
                *out++ = static_cast<char>(0xF0 | u >> 18);
                *out++ = static_cast<char>(0x80 | (u >> 12 & 0x3F));
                *out++ = static_cast<char>(0x80 | (u >> 6 & 0x3F));
                *out++ = static_cast<char>(0x80 | (u & 0x3F));
            } else {
                *out++ = static_cast<char>(0xE0 | u >> 12);
                *out++ = static_cast<char>(0x80 | (u >> 6 & 0x3F));
                *out++ = static_cast<char>(0x80 | (u & 0x3F));
            }
        }
        arena_.commit(static_cast<std::size_t>(out - begin));
    }

    GrowingArray<Event> events_;
    GrowingArray<char> arena_;
    GrowingArray<Place> places_;
    mutable std::size_t countedTo_ = 0, countedPlaces_ = 0;  // see placesBefore
};

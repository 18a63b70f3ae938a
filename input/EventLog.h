#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The content of a document's element, as a flat list of what a tree would hold, built while
// the file is parsed. What a diff never compares is left out on the way in, inside entity
// references as everywhere else: whitespace-only text, comments when they are ignored, and what
// -i selects. Names and values live in one arena, each followed by a NUL.
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
        Kind kind;
        std::uint32_t count;
        std::size_t name, nameLength;
        std::size_t value, valueLength;
    };

    // Text that a diff never compares: only the units 1 to 13 and blanks (or nothing).
    static bool isBlank(const char16_t* text, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i)
            if (text[i] > 13 && text[i] != 32) return false;
        return true;
    }

    void clear() {
        events_.clear();
        arena_.clear();
    }
    void add(Kind kind, const char16_t* name, std::size_t nameLength, const char16_t* value,
             std::size_t valueLength, std::uint32_t count = 0) {
        const std::size_t at = arena_.size();
        arena_.append(name, nameLength);
        arena_.push_back(0);
        arena_.append(value, valueLength);
        arena_.push_back(0);
        events_.push_back({kind, count, at, nameLength, at + nameLength + 1, valueLength});
    }

    const std::vector<Event>& events() const { return events_; }
    // Characters held for names and values.
    std::size_t arenaSize() const { return arena_.size(); }
    const char16_t* name(const Event& e) const { return arena_.data() + e.name; }
    const char16_t* value(const Event& e) const { return arena_.data() + e.value; }

private:
    std::vector<Event> events_;
    std::u16string arena_;
};

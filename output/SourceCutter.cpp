#include "output/SourceCutter.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Mismatch {};  // the bytes and the plan disagree
struct JoinsLineEnd {};

struct ByteUnits {
    static constexpr std::size_t kWidth = 1;
    const unsigned char* data;
    std::uint32_t at(std::size_t i) const { return data[i]; }
    std::size_t find(std::size_t i, std::size_t n, unsigned char c) const {
        const void* hit = std::memchr(data + i, c, n - i);
        return hit ? static_cast<const unsigned char*>(hit) - data : n;
    }
};

template <bool BigEndian>
struct Utf16Units {
    static constexpr std::size_t kWidth = 2;
    const unsigned char* data;
    std::uint32_t at(std::size_t i) const {
        return BigEndian ? (data[2 * i] << 8) | data[2 * i + 1] : data[2 * i] | (data[2 * i + 1] << 8);
    }
    std::size_t find(std::size_t i, std::size_t n, unsigned char c) const {
        while (i < n && at(i) != c) ++i;
        return i;
    }
};

bool isBlank(std::uint32_t c) { return c == ' ' || c == '\t'; }
bool isLineBreak(std::uint32_t c) { return c == '\n' || c == '\r'; }
bool isSpace(std::uint32_t c) { return isBlank(c) || isLineBreak(c); }

template <typename U>
class Cutter {
public:
    Cutter(U units, std::size_t size, const CutPlan& plan, const SourceCutter::Sink& sink,
           const SourceCutter::Release& release)
        : u(units), n(size), plan(plan), sink(sink), release(release) {}

    void run() {
        std::size_t i = prolog();
        i = content(i);
        emitTo(n);
        if (element != plan.elements() || selectedSeen != plan.hashesOfSelected().size() ||
            attribute != plan.cutAttributes().size())
            throw Mismatch();
        (void)i;
    }

    bool failed = false;

private:
    std::uint32_t at(std::size_t i) const {
        if (i >= n) throw Mismatch();
        return u.at(i);
    }
    std::size_t find(std::size_t i, unsigned char c) const {
        const std::size_t hit = i < n ? u.find(i, n, c) : n;
        if (hit >= n) throw Mismatch();
        return hit;
    }
    bool startsWith(std::size_t i, const char* text) const {
        for (; *text; ++text, ++i)
            if (i >= n || u.at(i) != static_cast<unsigned char>(*text)) return false;
        return true;
    }
    // The index just past the next occurrence of text at or after i.
    std::size_t past(std::size_t i, const char* text) const {
        const std::size_t length = std::strlen(text);
        for (;;) {
            i = find(i, static_cast<unsigned char>(text[0]));
            if (startsWith(i, text)) return i + length;
            ++i;
        }
    }
    std::size_t skipQuoted(std::size_t i) const {  // i at the opening quote
        return find(i + 1, static_cast<unsigned char>(at(i))) + 1;
    }

    void emitTo(std::size_t end) {
        if (end > emitted) {
            if (!sink(u.data + emitted * U::kWidth, (end - emitted) * U::kWidth)) {
                failed = true;
                throw Mismatch();
            }
            emitted = end;
        }
    }
    void skipTo(std::size_t end) {
        emitted = end;
        released(end);
    }
    void released(std::size_t end) {
        if (end - lastRelease >= (std::size_t{16} << 20)) {
            release(end * U::kWidth);
            lastRelease = end;
        }
    }

    // Everything before the document element is kept as it is.
    std::size_t prolog() {
        std::size_t i = 0;
        for (;;) {
            i = find(i, '<');
            const std::uint32_t next = at(i + 1);
            if (next == '?') {
                i = past(i + 2, "?>");
            } else if (startsWith(i, "<!--")) {
                i = past(i + 4, "-->");
            } else if (startsWith(i, "<!DOCTYPE")) {
                i = doctype(i + 9);
            } else if (next == '!') {
                throw Mismatch();
            } else {
                return i;
            }
        }
    }
    std::size_t doctype(std::size_t i) {
        for (;;) {
            const std::uint32_t c = at(i);
            if (c == '"' || c == '\'') {
                i = skipQuoted(i);
            } else if (c == '[') {
                i = internalSubset(i + 1);
            } else if (c == '>') {
                return i + 1;
            } else {
                ++i;
            }
        }
    }
    std::size_t internalSubset(std::size_t i) {
        for (;;) {
            const std::uint32_t c = at(i);
            if (c == ']') return i + 1;
            if (c != '<') {
                ++i;
            } else if (startsWith(i, "<!--")) {
                i = past(i + 4, "-->");
            } else if (at(i + 1) == '?') {
                i = past(i + 2, "?>");
            } else {
                // A declaration: its literals may hold '>' and ']'.
                for (i += 2;;) {
                    const std::uint32_t d = at(i);
                    if (d == '"' || d == '\'') {
                        i = skipQuoted(i);
                    } else if (d == '>') {
                        ++i;
                        break;
                    } else {
                        ++i;
                    }
                }
            }
        }
    }

    // A start tag at i: counts the element and checks it against the plan. With keep, removes
    // the attributes the plan cuts. Returns the index past the tag; empty tells <x/>.
    std::size_t startTag(std::size_t i, bool keep, bool& empty) {
        const std::uint64_t index = element++;
        const bool selected = plan.selected(index);
        CutPlan::NameHash name;
        ++i;
        for (std::uint32_t c = at(i); !isSpace(c) && c != '/' && c != '>'; c = at(++i)) name.add(c);
        if (selected) {
            const auto& hashes = plan.hashesOfSelected();
            if (selectedSeen >= hashes.size() || hashes[selectedSeen] != name.value) throw Mismatch();
            ++selectedSeen;
        }
        const auto& cuts = plan.cutAttributes();
        if (attribute < cuts.size() && cuts[attribute].element < index) throw Mismatch();
        const std::size_t firstCut = attribute;
        std::uint32_t written = 0;
        for (;;) {
            const std::size_t blankFrom = i;
            while (isSpace(at(i))) ++i;
            const std::uint32_t c = at(i);
            if (c == '>' || c == '/') {
                empty = c == '/';
                if (attribute < cuts.size() && cuts[attribute].element == index) throw Mismatch();
                for (std::size_t k = firstCut; k < attribute; ++k)
                    if (cuts[k].written != written) throw Mismatch();
                return empty ? find(i, '>') + 1 : i + 1;
            }
            CutPlan::NameHash attributeName;
            for (std::uint32_t d = at(i); !isSpace(d) && d != '='; d = at(++i)) attributeName.add(d);
            while (at(i) != '"' && at(i) != '\'') ++i;
            i = skipQuoted(i);
            if (attribute < cuts.size() && cuts[attribute].element == index &&
                cuts[attribute].index == written) {
                if (cuts[attribute].hash != attributeName.value) throw Mismatch();
                if (keep) {
                    emitTo(blankFrom);
                    skipTo(i);
                }
                ++attribute;
            }
            ++written;
        }
    }

    // Past markup that is not an element at i ('<' followed by '!' or '?').
    std::size_t otherMarkup(std::size_t i) {
        if (at(i + 1) == '?') return past(i + 2, "?>");
        if (startsWith(i, "<!--")) return past(i + 4, "-->");
        if (startsWith(i, "<![CDATA[")) return past(i + 9, "]]>");
        throw Mismatch();
    }

    // Past the whole element whose start tag is at i, without keeping anything of it.
    std::size_t skipElement(std::size_t i) {
        // Its attributes go with it: the plan lists none of them.
        bool empty = false;
        i = startTag(i, false, empty);
        for (std::size_t depth = empty ? 0 : 1; depth > 0;) {
            i = find(i, '<');
            const std::uint32_t next = at(i + 1);
            if (next == '/') {
                i = find(i, '>') + 1;
                --depth;
            } else if (next == '!' || next == '?') {
                i = otherMarkup(i);
            } else {
                i = startTag(i, false, empty);
                if (!empty) ++depth;
            }
        }
        return i;
    }

    bool allSpace(std::size_t from, std::size_t to) const {
        for (; from < to; ++from)
            if (!isSpace(u.at(from))) return false;
        return true;
    }

    // Whether the text from i on stays white space only up to the next markup that the copy
    // keeps, once the selected elements on the way are gone: only then may a removed element
    // take its line with it. Looked at once for a run of removed elements.
    bool blankToKeptMarkup(std::size_t i) {
        if (i >= lookedFrom && i <= lookedTo) return lookedBlank;
        const std::uint64_t elementBefore = element;
        const std::size_t selectedBefore = selectedSeen, attributeBefore = attribute;
        std::size_t j = i;
        while (j + 1 < n && u.at(j) == '<' && plan.selected(element)) {
            const std::uint32_t next = u.at(j + 1);
            if (next == '/' || next == '!' || next == '?') break;
            j = skipElement(j);
            while (j < n && isSpace(u.at(j))) ++j;
        }
        element = elementBefore;
        selectedSeen = selectedBefore;
        attribute = attributeBefore;
        lookedFrom = i;
        lookedTo = j;
        lookedBlank = j >= n || u.at(j) == '<';
        return lookedBlank;
    }

    // A selected element at i, with any selected ones that follow it separated by blanks only.
    // Its indentation goes only when the text around it holds nothing but white space: a text
    // that the file holds keeps every character.
    std::size_t removeElements(std::size_t i) {
        const bool leftBlank = textBlank && allSpace(textStart, i);
        std::size_t left = i;
        while (left > emitted && isBlank(at(left - 1))) --left;
        bool leftAlone = false;
        if (leftBlank && left > emitted && isLineBreak(at(left - 1))) {
            leftAlone = true;
            left -= (at(left - 1) == '\n' && left - 1 > emitted && at(left - 2) == '\r') ? 2 : 1;
        }
        std::vector<std::size_t> bounds;  // start and end of each removed element
        std::size_t end = i;
        std::size_t after = i;
        for (;;) {
            bounds.push_back(after);
            end = skipElement(after);
            bounds.push_back(end);
            after = end;
            while (after < n && isBlank(u.at(after))) ++after;
            if (after + 1 < n && u.at(after) == '<' && plan.selected(element)) {
                const std::uint32_t next = u.at(after + 1);
                if (next != '/' && next != '!' && next != '?') continue;
            }
            break;
        }
        if (leftAlone && after < n && isLineBreak(u.at(after))) {
            std::size_t next = after;
            while (next < n && isSpace(u.at(next))) ++next;
            if (next < n && u.at(next) == '<' && blankToKeptMarkup(next)) {
                emitTo(left);
                skipTo(after);
                textStart = after;
                return after;
            }
        }
        for (std::size_t k = 0; k < bounds.size(); k += 2) {
            if (bounds[k] > 0 && at(bounds[k] - 1) == '\r' && bounds[k + 1] < n &&
                u.at(bounds[k + 1]) == '\n')
                throw JoinsLineEnd();
            emitTo(bounds[k]);
            skipTo(bounds[k + 1]);
        }
        // The texts on both sides of the removed elements become one.
        textBlank = leftBlank;
        textStart = end;
        return end;
    }

    std::size_t content(std::size_t i) {
        std::size_t depth = 0;
        do {
            i = find(i, '<');
            const std::uint32_t next = at(i + 1);
            bool removed = false;
            if (next == '/') {
                i = find(i, '>') + 1;
                --depth;
            } else if (next == '!' || next == '?') {
                i = otherMarkup(i);
            } else if (plan.selected(element)) {
                if (depth == 0) throw Mismatch();  // never the document element
                i = removeElements(i);
                removed = true;
            } else {
                bool empty = false;
                i = startTag(i, true, empty);
                if (!empty) ++depth;
            }
            if (!removed) {
                textStart = i;
                textBlank = true;
            }
            // Text that follows a tag may indent a removed element: keep it back until then.
            if (i - emitted >= (std::size_t{1} << 20)) {
                emitTo(i);
                released(i);
            }
        } while (depth > 0);
        return i;
    }

    U u;
    const std::size_t n;
    const CutPlan& plan;
    const SourceCutter::Sink& sink;
    const SourceCutter::Release& release;
    std::size_t emitted = 0;      // units before this one are written or cut
    std::size_t lastRelease = 0;
    std::uint64_t element = 0;    // elements met so far
    std::size_t selectedSeen = 0;
    std::size_t attribute = 0;    // cut attributes met so far
    // The text before the next markup: what stands from textStart on, and whether what the
    // copy keeps of it before textStart is white space only.
    std::size_t textStart = 0;
    bool textBlank = true;
    // The last run looked through by blankToKeptMarkup, and what it found.
    std::size_t lookedFrom = 1, lookedTo = 0;
    bool lookedBlank = false;
};

template <typename U>
SourceCutter::Result run(U units, std::size_t size, const CutPlan& plan,
                         const SourceCutter::Sink& sink, const SourceCutter::Release& release) {
    Cutter<U> cutter(units, size, plan, sink, release);
    try {
        cutter.run();
        return SourceCutter::Result::Cut;
    } catch (const Mismatch&) {
        return SourceCutter::Result::Mismatch;
    } catch (const JoinsLineEnd&) {
        return SourceCutter::Result::JoinsLineEnd;
    }
}

}  // namespace

SourceCutter::Result SourceCutter::cut(const unsigned char* data, std::size_t size, Units units,
                                       const CutPlan& plan, const Sink& sink,
                                       const Release& release) {
    switch (units) {
        case Units::Bytes:
            return run(ByteUnits{data}, size, plan, sink, release);
        case Units::Utf16LE:
            if (size % 2) return Result::Mismatch;
            return run(Utf16Units<false>{data}, size / 2, plan, sink, release);
        case Units::Utf16BE:
            if (size % 2) return Result::Mismatch;
            return run(Utf16Units<true>{data}, size / 2, plan, sink, release);
    }
    return Result::Mismatch;
}

#include "compare/DifferenceReport.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "support/Utf8.h"

namespace {

constexpr std::size_t kShownCharacters = 60;

// At most kShownCharacters characters, control characters spelled out so that the report
// keeps one line per file.
std::string shown(std::string_view value) {
    const std::u16string text = EventLog::toUtf16(value);
    std::u16string out;
    std::size_t characters = 0;
    const char16_t* p = text.c_str();
    for (; *p && characters < kShownCharacters; ++p, ++characters) {
        const char16_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            out += c;
            out += *++p;
        } else if (c == u'\n') {
            out += u"\\n";
        } else if (c == u'\r') {
            out += u"\\r";
        } else if (c == u'\t') {
            out += u"\\t";
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            out.append(escape, escape + 4);
        } else {
            out += c;
        }
    }
    return "\"" + encodeUtf8(out) + (*p ? "...\"" : "\"");
}

// Finds in one log where nodes stand: their paths, and the places the parser recorded.
class SideIndex {
public:
    SideIndex(const EventLog& log, const DifferenceList& list, int side,
              const std::vector<ChildCounts>* counts)
        : log(log), list(list), side(side), counts(counts) {
        // The elements around a stretch come first, one inside the other.
        for (std::size_t k = 0, at = 0; counts && k < counts->size() && at < log.events().size();
             ++k, at += 1 + event(at).count)
            around.push_back(at);
    }

    std::string path(std::size_t target) {
        descend(target);
        std::string out = "/" + std::string(log.name(event(chain.front().first)));
        for (std::size_t k = 1; k < chain.size(); ++k) {
            const std::size_t node = chain[k].first;
            const std::string index = "[" + std::to_string(chain[k].second) + "]";
            const EventLog::Event& e = event(node);
            const std::string name(log.name(e));
            switch (e.kind) {
                case EventLog::Attribute:
                    out += "/@" + name;
                    break;
                case EventLog::ElementStart:
                    out += "/" + name + index;
                    break;
                case EventLog::Text:
                case EventLog::Cdata:
                    out += "/text()" + index;
                    break;
                case EventLog::Comment:
                    out += "/comment()" + index;
                    break;
                case EventLog::Instruction:
                    out += "/processing-instruction('" + name + "')" + index;
                    break;
                case EventLog::EntityStart:
                    out += "/entity-reference('" + name + "')" + index;
                    break;
                default:
                    out += "/node()" + index;
                    break;
            }
        }
        return out;
    }

    // The place of the nearest node at or above target that has one: attributes, texts and
    // what an entity expansion holds stand at their element's place.
    void place(std::size_t target, ListedSide& side) {
        if (target == DifferenceSide::kNone) return;
        descend(target);
        for (std::size_t k = chain.size(); k-- > 0;) {
            const std::size_t node = chain[k].first;
            if (!EventLog::placed(event(node))) continue;
            const EventLog::Place& at = log.places()[rankOf(node)];
            side.placed = true;
            side.line = at.line;
            side.column = at.column;
            return;
        }
    }

private:
    struct Children {
        std::vector<std::size_t> starts;
        std::vector<std::size_t> positions;  // among the siblings of the same key, from 1
    };

    const EventLog::Event& event(std::size_t i) const { return log.events()[i]; }

    const Children& childrenOf(std::size_t parent) {
        const auto found = children.find(parent);
        if (found != children.end()) return found->second;
        Children& c = children[parent];
        const EventLog::Event& e = event(parent);
        ChildCounts before;
        const auto level = std::find(around.begin(), around.end(), parent);
        if (level != around.end()) before = (*counts)[level - around.begin()];
        const std::size_t last = list.end(side, parent) - 1;
        for (std::size_t k = parent + 1 + e.count; k < last; k = list.end(side, k)) {
            c.starts.push_back(k);
            c.positions.push_back(++before[siblingKey(log, k)]);
        }
        return c;
    }

    // chain: the nodes from the document element down to target, each with its position.
    void descend(std::size_t target) {
        chain.assign(1, {0, 1});
        for (std::size_t node = 0; node != target;) {
            const EventLog::Event& e = event(node);
            if (e.kind == EventLog::ElementStart && target > node && target <= node + e.count) {
                chain.emplace_back(target, 0);  // an attribute of node
                return;
            }
            const Children& c = childrenOf(node);
            const auto at = std::upper_bound(c.starts.begin(), c.starts.end(), target);
            if (at == c.starts.begin()) return;  // not below node: cannot be
            const std::size_t k = static_cast<std::size_t>(at - c.starts.begin()) - 1;
            node = c.starts[k];
            chain.emplace_back(node, c.positions[k]);
        }
    }

    // How many placed events come before event i: counted once per block of events.
    std::size_t rankOf(std::size_t i) {
        constexpr std::size_t kBlock = 4096;
        if (checkpoints.empty()) {
            std::size_t placed = 0;
            for (std::size_t k = 0; k < log.events().size(); ++k) {
                if (k % kBlock == 0) checkpoints.push_back(placed);
                placed += EventLog::placed(event(k));
            }
        }
        std::size_t rank = checkpoints[i / kBlock];
        for (std::size_t k = i / kBlock * kBlock; k < i; ++k) rank += EventLog::placed(event(k));
        return rank;
    }

    const EventLog& log;
    const DifferenceList& list;
    const int side;
    const std::vector<ChildCounts>* const counts;
    std::vector<std::size_t> around;  // the events that start the elements around a stretch
    std::unordered_map<std::size_t, Children> children;
    std::vector<std::pair<std::size_t, std::size_t>> chain;
    std::vector<std::size_t> checkpoints;
};

ListedSide listSide(const DifferenceSide& side, const EventLog& log, SideIndex& index) {
    ListedSide out;
    index.place(side.event, out);
    if (side.kind == DifferenceSide::Nothing) {
        out.kind = "nothing";
        out.what = "nothing";
        return out;
    }
    const EventLog::Event& e = log.events()[side.event];
    const std::string_view name = log.name(e);
    const std::string_view value = log.value(e);
    const auto with = [&](bool hasName, bool hasValue) {
        out.hasName = hasName;
        if (hasName) out.name = std::string(name);
        out.hasValue = hasValue;
        if (hasValue) out.value = std::string(value);
    };
    switch (e.kind) {
        case EventLog::ElementStart:
            out.kind = "element";
            out.what = "element <" + std::string(name) + ">";
            with(true, false);
            break;
        case EventLog::Attribute:
            out.kind = "attribute";
            out.what = "attribute " + std::string(name) + "=" + shown(value);
            with(true, true);
            break;
        case EventLog::Text:
            out.kind = "text";
            out.what = "text " + shown(value);
            with(false, true);
            break;
        case EventLog::Cdata:
            out.kind = "cdata";
            out.what = "CDATA section " + shown(value);
            with(false, true);
            break;
        case EventLog::Comment:
            out.kind = "comment";
            out.what = "comment " + shown(value);
            with(false, true);
            break;
        case EventLog::Instruction:
            out.kind = "processing-instruction";
            out.what = "processing instruction " + std::string(name) + " " + shown(value);
            with(true, true);
            break;
        case EventLog::EntityStart:
            out.kind = "entity-reference";
            out.what = "entity reference &" + std::string(name) + ";";
            with(true, false);
            break;
        default:
            out.kind = "node";
            out.what = "node";
            break;
    }
    return out;
}

std::string sideLine(const ListedSide& side, const std::string& name) {
    std::string line = "\n    " + name;
    if (side.placed) line += ":" + std::to_string(side.line) + ":" + std::to_string(side.column);
    return line + ": " + side.what;
}

}  // namespace

std::vector<ListedDifference> listDifferences(const std::vector<Difference>& found,
                                              const DifferenceList& list,
                                              const EventLog& original, const EventLog& compare,
                                              const std::vector<ChildCounts>* originalCounts,
                                              const std::vector<ChildCounts>* compareCounts) {
    SideIndex first(original, list, 0, originalCounts);
    SideIndex second(compare, list, 1, compareCounts);
    std::vector<ListedDifference> out;
    for (const Difference& d : found) {
        const bool inFirst = d.original.kind == DifferenceSide::Node;
        out.push_back({inFirst ? first.path(d.original.event) : second.path(d.compare.event),
                       listSide(d.original, original, first),
                       listSide(d.compare, compare, second)});
    }
    return out;
}

std::string pathOf(const DifferenceList& list, int side, const EventLog& log, std::size_t event,
                   const std::vector<ChildCounts>* counts) {
    return SideIndex(log, list, side, counts).path(event);
}

std::string describeDifference(const ListedDifference& difference, const std::string& heading,
                               const std::string& originalName, const std::string& compareName) {
    return "\n ** " + heading + ": " + difference.path +
           sideLine(difference.original, originalName) + sideLine(difference.compare, compareName);
}

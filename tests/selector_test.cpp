#include "output/Selector.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Utf8.h"

namespace {

// A path written as "a/b/c" (document element first); an attribute after '@'.
struct Probe {
    std::string path;
    bool selected;
};

struct SelectorCase {
    const char* word;
    std::string problem;  // empty: well formed
    std::vector<Probe> probes;
};

bool selects(const Selector& s, const std::string& probe) {
    const auto at = probe.find('@');
    std::vector<std::u16string> names;
    const std::string path = probe.substr(0, at);
    for (std::size_t from = 0; from <= path.size();) {
        const auto slash = path.find('/', from);
        names.push_back(decodeUtf8(path.substr(from, slash - from)));
        if (slash == std::string::npos) break;
        from = slash + 1;
    }
    std::vector<const XMLCh*> pointers;
    for (const auto& n : names) pointers.push_back(n.c_str());
    if (at == std::string::npos) return s.matchesElement(pointers.data(), pointers.size());
    const std::u16string attribute = decodeUtf8(probe.substr(at + 1));
    return s.matchesAttribute(pointers.data(), pointers.size(), attribute.c_str());
}

TEST(Selector, ParsesAndMatches) {
    const std::string empty = "it has an empty step";
    const SelectorCase cases[] = {
        {"b", "", {{"b", true}, {"a/b", true}, {"a/b/c", false}, {"B", false}, {"a/b@b", false}}},
        {"x:b", "", {{"a/x:b", true}, {"a/b", false}}},
        {"*", "", {{"a", true}, {"a/b", true}, {"a@x", false}}},
        {"<a> b", "", {{"a", false}}},  // no / and no @: a name, even one no element can have
        {"", "", {{"a", false}}},
        {"@id", "", {{"a@id", true}, {"a/b@id", true}, {"a@ID", false}, {"a/id", false}}},
        {"@*", "", {{"a@x", true}, {"a", false}}},
        {"a/b", "", {{"a/b", true}, {"r/a/b", true}, {"r/b", false}, {"a/b/c", false}}},
        {"/a/b", "", {{"a/b", true}, {"r/a/b", false}}},
        {"/a", "", {{"a", true}, {"r/a", false}}},
        {"a/*/c", "", {{"a/x/c", true}, {"a/c", false}, {"r/a/y/c", true}}},
        {"book/@id", "", {{"c/book@id", true}, {"book/x@id", false}, {"book", false}}},
        {"/catalog/@version", "", {{"catalog@version", true}, {"r/catalog@version", false}}},
        {"a/", empty, {}},
        {"/", empty, {}},
        {"@", empty, {}},
        {"a/@", empty, {}},
        {"a//b", "'//' is not supported (a path without a leading / matches at any depth)", {}},
        {"//a", "'//' is not supported (a path without a leading / matches at any depth)", {}},
        {"a@b", "'@' stands inside a step", {}},
        {"a/b@c", "'@' stands inside a step", {}},
        {"@a/b", "an attribute step must be the last step", {}},
        {"/@x", "a path that starts with / needs an element step", {}},
    };
    for (const auto& c : cases) {
        std::string problem;
        const std::optional<Selector> s = Selector::parse(c.word, &problem);
        ASSERT_EQ(s.has_value(), c.problem.empty()) << c.word << ": " << problem;
        EXPECT_EQ(problem, c.problem) << c.word;
        if (!s) continue;
        EXPECT_EQ(s->text(), c.word);
        for (const auto& p : c.probes) EXPECT_EQ(selects(*s, p.path), p.selected) << c.word << " on " << p.path;
    }
}

}  // namespace

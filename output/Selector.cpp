#include "output/Selector.h"

#include <cstring>
#include <iostream>

#include "support/Utf8.h"

namespace {

const char16_t kAny[] = u"*";

bool sameName(const std::u16string& step, const XMLCh* name) {
    return step == kAny || step == name;
}

}  // namespace

std::optional<Selector> Selector::parse(const char* word, std::string* problem) {
    Selector selector;
    selector.text_ = word;
    const std::string_view text(word);
    if (text.find_first_of("/@") == std::string_view::npos) {
        selector.steps_.push_back(decodeUtf8(text));
        return selector;
    }
    const auto fail = [&](const char* what) -> std::optional<Selector> {
        if (problem) *problem = what;
        return std::nullopt;
    };
    if (text.find("//") != std::string_view::npos)
        return fail("'//' is not supported (a path without a leading / matches at any depth)");
    std::string_view rest = text;
    if (rest.front() == '/') {
        selector.anchored_ = true;
        rest.remove_prefix(1);
    }
    for (;;) {
        const std::size_t slash = rest.find('/');
        const std::string_view step = rest.substr(0, slash);
        const bool last = slash == std::string_view::npos;
        if (step.empty() || step == "@") return fail("it has an empty step");
        if (step.find('@', 1) != std::string_view::npos) return fail("'@' stands inside a step");
        if (step.front() == '@') {
            if (!last) return fail("an attribute step must be the last step");
            selector.attribute_ = decodeUtf8(step.substr(1));
            break;
        }
        selector.steps_.push_back(decodeUtf8(step));
        if (last) break;
        rest.remove_prefix(slash + 1);
    }
    if (selector.anchored_ && selector.steps_.empty())
        return fail("a path that starts with / needs an element step");
    return selector;
}

bool Selector::matchesSteps(const XMLCh* const* path, std::size_t depth) const {
    const std::size_t count = steps_.size();
    if (depth < count || (anchored_ && depth != count)) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (!sameName(steps_[count - 1 - i], path[depth - 1 - i])) return false;
    return true;
}

bool Selector::matchesElement(const XMLCh* const* path, std::size_t depth) const {
    return !attribute_ && depth > 0 && matchesSteps(path, depth);
}

bool Selector::matchesAttribute(const XMLCh* const* path, std::size_t depth,
                                const XMLCh* name) const {
    return attribute_ && depth > 0 && sameName(*attribute_, name) && matchesSteps(path, depth);
}

std::optional<Selectors> parseSelectors(const std::vector<const char*>& words) {
    Selectors selectors;
    for (const char* word : words) {
        std::string problem;
        std::optional<Selector> selector = Selector::parse(word, &problem);
        if (!selector) {
            std::cout << "\n\n *** INVALID SELECTOR: " << word << " is not well formed: " << problem
                      << "."
                      << "\n Please insure each selector is a name, @name, or a path such as a/b,"
                         " /a/b or a/@name.";
            return std::nullopt;
        }
        selectors.push_back(std::move(*selector));
    }
    return selectors;
}

bool isNamespaceDeclaration(const XMLCh* name) {
    static const char16_t prefix[] = u"xmlns";
    for (std::size_t i = 0; i < 5; ++i)
        if (name[i] != prefix[i]) return false;
    return name[5] == 0 || name[5] == u':';
}

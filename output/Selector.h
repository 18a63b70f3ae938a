#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <xercesc/util/XercesDefs.hpp>

// One word after the file of -r or after -i: what it selects.
//   name          every element with that tag name, exactly as written ("*": every element)
//   @name         every attribute with that name, on any element ("@*": every attribute)
//   a/b, /a/b     every b whose parent is an a, at any depth; a leading / anchors the first
//                 step at the document element; a step * is any element; the last step may be
//                 @name (book/@id)
// A word without / and @ is a name whatever it holds, so every older command line keeps its
// meaning. Names match exactly, letter case and prefix included.
class Selector {
public:
    // Nullopt for a malformed word; *problem then says what is wrong with it.
    static std::optional<Selector> parse(const char* word, std::string* problem);

    const std::string& text() const { return text_; }
    bool selectsAttributes() const { return attribute_.has_value(); }

    // path[0] is the document element, path[depth - 1] the element in question; each entry is
    // the element's qualified name.
    bool matchesElement(const XMLCh* const* path, std::size_t depth) const;
    // Whether the attribute named name of the element path[depth - 1] is selected.
    bool matchesAttribute(const XMLCh* const* path, std::size_t depth, const XMLCh* name) const;

private:
    bool matchesSteps(const XMLCh* const* path, std::size_t depth) const;

    std::string text_;
    std::vector<std::u16string> steps_;        // element steps, outermost first
    std::optional<std::u16string> attribute_;  // the final @ step
    bool anchored_ = false;
};

// The selectors of a command line, in order, duplicates kept.
using Selectors = std::vector<Selector>;

// Parses every word; on the first malformed one prints the failure block that names it and
// returns nullopt.
std::optional<Selectors> parseSelectors(const std::vector<const char*>& words);

// Whether an attribute name is xmlns or xmlns:prefix.
bool isNamespaceDeclaration(const XMLCh* name);

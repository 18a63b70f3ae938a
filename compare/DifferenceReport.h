#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include <xercesc/dom/DOMNode.hpp>

#include "compare/Difference.h"
#include "input/QelDOMParser.h"

// One side of a difference as it is reported, taken off the tree while the tree still exists.
// Texts are UTF-8.
struct ListedSide {
    std::string kind;  // element, attribute, text, cdata, comment, processing-instruction,
                       // entity-reference or nothing
    bool hasName = false;
    std::string name;
    bool hasValue = false;
    std::string value;  // whole, not cut
    bool placed = false;
    unsigned long long line = 0, column = 0;
    std::string what;  // as the text report says it: element <book>, text "...", nothing
};

struct ListedDifference {
    std::string path;
    ListedSide original;
    ListedSide compare;
};

// Where nodes stand among their siblings of the same kind and name, counted once per parent so
// that listing many children of one element costs no more than walking them once.
struct SiblingPositions {
    std::unordered_map<const xercesc::DOMNode*, std::size_t> position;
};

// The report of one difference; positions are where each file's elements start (null when not
// recorded).
ListedDifference listDifference(const Difference& difference,
                                const SourcePositions* originalPositions,
                                const SourcePositions* comparePositions,
                                SiblingPositions* known = nullptr);

// The block of one difference under its heading ("First difference", "Difference 3"), the files
// named as typed: "\n ** " heading ": " path, then one line per file.
std::string describeDifference(const ListedDifference& difference, const std::string& heading,
                               const std::string& originalName, const std::string& compareName);

// XPath-like location: /root/child[2]/@name, /root/text()[1], /root/comment()[1], ...
std::string pathOf(const xercesc::DOMNode* node, SiblingPositions* known = nullptr);

#pragma once

#include <string>

#include <xercesc/dom/DOMNode.hpp>

#include "compare/FirstDifference.h"
#include "input/QelDOMParser.h"

// One file of a diff as the report names it: the path as typed, and where its elements start
// (null when not recorded).
struct DifferenceFile {
    const char* name;
    const SourcePositions* positions;
};

// The block that -v adds before a "different" verdict: "\n ** First difference: " and the path,
// then one line per file with its position and what it holds there. UTF-8.
std::string describeDifference(const FirstDifference& difference, const DifferenceFile& original,
                               const DifferenceFile& compare);

// XPath-like location: /root/child[2]/@name, /root/text()[1], /root/comment()[1], ...
std::string pathOf(const xercesc::DOMNode* node);

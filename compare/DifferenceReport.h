#pragma once

#include <cstddef>
#include <string>
#include <map>
#include <utility>
#include <vector>

#include "compare/Difference.h"
#include "compare/DifferenceList.h"
#include "input/EventLog.h"

// One side of a difference as it is reported, taken off the log while the log still exists.
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

// The reports of differences that list found between the two logs, in their order. Counts,
// when given, hold per file how many children of each kind and name the elements around the
// stretch had before it (see StreamedRest); path positions count them too.
std::vector<ListedDifference> listDifferences(const std::vector<Difference>& found,
                                              const DifferenceList& list,
                                              const EventLog& original, const EventLog& compare,
                                              const std::vector<ChildCounts>* originalCounts = nullptr,
                                              const std::vector<ChildCounts>* compareCounts = nullptr);

// The path of a node of one side's log, as a listing writes it.
std::string pathOf(const DifferenceList& list, int side, const EventLog& log, std::size_t event,
                   const std::vector<ChildCounts>* counts = nullptr);

// The block of one difference under its heading ("First difference", "Difference 3"), the files
// named as typed: "\n ** " heading ": " path, then one line per file.
std::string describeDifference(const ListedDifference& difference, const std::string& heading,
                               const std::string& originalName, const std::string& compareName);

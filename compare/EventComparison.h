#pragma once

#include "compare/CaseFolding.h"
#include "input/EventLog.h"

// Compares two documents read as event logs, in document order, by the same rules as the tree
// comparison: names and values ignoring case, attributes paired by name whatever their order,
// CDATA, processing instructions and entity references only with their own kind.
bool eventLogsEqual(const EventLog& a, const EventLog& b, CaseFolding& folding);

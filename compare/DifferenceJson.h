#pragma once

#include <string>
#include <vector>

#include "compare/DifferenceReport.h"

// The one JSON object (RFC 8259, UTF-8) that -j prints for a diff whose result is 0, 1 or 2:
// {"same": true|false, "file1": ..., "file2": ..., "differences": [...]}, or on a failure
// {"same": null, "file1": ..., "file2": ..., "error": ...}. Bytes that are not UTF-8 (in file
// names) become U+FFFD.
std::string differencesAsJson(int result, const std::string& file1, const std::string& file2,
                               const std::vector<ListedDifference>& differences,
                               const std::string& error);

// A JSON string literal for bytes meant as UTF-8.
std::string jsonString(const std::string& bytes);

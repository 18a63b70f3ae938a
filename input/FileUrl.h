#pragma once

#include <string>

// A file: URL as a local path: file:///a%20b, file://localhost/a and file:/a give "/a b" and
// "/a". False for any other URL (another scheme, or a file: URL that names another host).
bool fileUrlToPath(const std::string& url, std::string& path);

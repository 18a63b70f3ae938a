#include "input/FileUrl.h"

#include <cctype>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() ||
            std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

}  // namespace

bool fileUrlToPath(const std::string& url, std::string& path) {
    if (!startsWithNoCase(url, "file:")) return false;
    std::string rest = url.substr(5);
    if (rest.compare(0, 2, "//") == 0) {
        const std::size_t slash = rest.find('/', 2);
        const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (!host.empty() && !(host.size() == 9 && startsWithNoCase(host, "localhost")))
            return false;
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    }
    if (rest.empty() || rest[0] != '/') return false;
    path.clear();
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '?' || rest[i] == '#') break;
        if (rest[i] == '%') {
            if (i + 2 >= rest.size()) return false;
            const int high = hexValue(rest[i + 1]);
            const int low = hexValue(rest[i + 2]);
            if (high < 0 || low < 0) return false;
            const char decoded = static_cast<char>(high * 16 + low);
            if (decoded == 0) return false;
            path += decoded;
            i += 2;
            continue;
        }
        path += rest[i];
    }
    return true;
}

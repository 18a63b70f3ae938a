#include "input/CharacterColumns.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "input/ObservedSource.h"

using namespace xercesc;

std::unique_ptr<InputSource> CharacterColumns::watch(const InputSource& document) {
    clear();
    return std::make_unique<ObservedSource>(
        document, [this](const XMLByte* read, XMLSize_t count) { feed(read, count); });
}

void CharacterColumns::clear() { *this = CharacterColumns(); }

XMLFileLoc CharacterColumns::column(XMLFileLoc at, XMLFileLoc units, bool utf) const {
    const auto found = utf ? astral.find(at) : astral.end();
    if (found == astral.end()) return units;
    // A character that starts at unit c fills c and c + 1: it counts once past c + 1.
    const auto& starts = found->second;
    const auto before = std::lower_bound(starts.begin(), starts.end(), units > 0 ? units - 1 : 0);
    return units - static_cast<XMLFileLoc>(before - starts.begin());
}

void CharacterColumns::feed(const unsigned char* bytes, std::size_t count) {
    std::size_t i = 0;
    if (form == Form::Unknown) {
        while (i < count && start.size() < 2) start.push_back(bytes[i++]);
        if (start.size() < 2) return;
        if ((start[0] == 0xFF && start[1] == 0xFE) || (start[0] == '<' && start[1] == 0))
            form = Form::Utf16LE;
        else if ((start[0] == 0xFE && start[1] == 0xFF) || (start[0] == 0 && start[1] == '<'))
            form = Form::Utf16BE;
        else
            form = Form::Bytes;
        const std::vector<unsigned char> first = start;
        feed(first.data(), first.size());
    }
    if (form == Form::Bytes) {
        while (i < count) {
            if (started && continuation == 0 && !afterCarriageReturn) {
                // A run of ASCII within a line, the usual bulk: one column a byte.
                std::size_t j = i;
                // Eight bytes at a time while none is a line end or outside ASCII.
                constexpr std::uint64_t kOnes = 0x0101010101010101ULL,
                                        kHigh = 0x8080808080808080ULL;
                const auto hasZero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
                for (; j + 8 <= count; j += 8) {
                    std::uint64_t w;
                    std::memcpy(&w, bytes + j, 8);
                    if ((w & kHigh) || hasZero(w ^ (kOnes * '\n')) || hasZero(w ^ (kOnes * '\r')))
                        break;
                }
                while (j < count && bytes[j] < 0x80 && bytes[j] != '\n' && bytes[j] != '\r') ++j;
                unitColumn += j - i;
                i = j;
                if (i == count) break;
            }
            unit(bytes[i++]);
        }
        return;
    }
    for (; i < count; ++i) {
        if (oddByte < 0) {
            oddByte = bytes[i];
            continue;
        }
        const std::uint32_t pair = form == Form::Utf16LE ? oddByte | (bytes[i] << 8)
                                                         : (oddByte << 8) | bytes[i];
        oddByte = -1;
        unit(pair);
    }
}

void CharacterColumns::unit(std::uint32_t u) {
    if (form == Form::Bytes && continuation > 0 && (u & 0xC0) == 0x80) {
        --continuation;
        return;
    }
    if (lowSurrogate && u >= 0xDC00 && u <= 0xDFFF) {
        lowSurrogate = false;
        return;
    }
    continuation = 0;
    lowSurrogate = false;
    if (line == 1 && unitColumn == 1 && !started) {
        started = true;
        // A byte order mark is no column.
        if (form == Form::Bytes && u == 0xEF) {
            continuation = 2;
            return;
        }
        if (form != Form::Bytes && u == 0xFEFF) return;
    }
    started = true;
    if (u == '\n') {
        // CR LF is one line end, as the scanner counts it.
        if (!afterCarriageReturn) {
            ++line;
            unitColumn = 1;
        }
        afterCarriageReturn = false;
        return;
    }
    afterCarriageReturn = u == '\r';
    if (afterCarriageReturn) {
        ++line;
        unitColumn = 1;
        return;
    }
    const bool fourBytes = form == Form::Bytes && u >= 0xF0 && u <= 0xF4;
    const bool highSurrogate = form != Form::Bytes && u >= 0xD800 && u <= 0xDBFF;
    if (fourBytes || highSurrogate) {
        astral[line].push_back(unitColumn);
        unitColumn += 2;
        continuation = fourBytes ? 3 : 0;
        lowSurrogate = highSurrogate;
        return;
    }
    if (form == Form::Bytes) continuation = u >= 0xE0 ? 2 : u >= 0xC0 ? 1 : 0;
    ++unitColumn;
}

bool readsUtf(const XMLCh* encoding) {
    if (!encoding) return false;
    std::u16string name;
    for (; *encoding && name.size() < 8; ++encoding)
        name.push_back(*encoding >= u'a' && *encoding <= u'z' ? *encoding - 32 : *encoding);
    return name.rfind(u"UTF-8", 0) == 0 || name.rfind(u"UTF8", 0) == 0 ||
           name.rfind(u"UTF-16", 0) == 0 || name.rfind(u"UTF16", 0) == 0;
}

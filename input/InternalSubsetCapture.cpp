#include "input/InternalSubsetCapture.h"

#include <xercesc/framework/XMLRecognizer.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLException.hpp>

#include "input/ObservedSource.h"

using namespace xercesc;

namespace {

// The scanner's offsets do not count a byte order mark.
std::size_t byteOrderMarkLength(const std::string& bytes) {
    auto startsWith = [&](const char* mark, std::size_t length) {
        return bytes.compare(0, length, mark, length) == 0;
    };
    if (startsWith("\xEF\xBB\xBF", 3)) return 3;
    if (startsWith("\x00\x00\xFE\xFF", 4) || startsWith("\xFF\xFE\x00\x00", 4)) return 4;
    if (startsWith("\xFE\xFF", 2) || startsWith("\xFF\xFE", 2)) return 2;
    return 0;
}

// Decodes bytes[from, to) whole; the size in bytes of the last character goes to lastSize.
bool decode(XMLTranscoder& transcoder, const std::string& bytes, std::size_t from, std::size_t to,
            std::u16string& text, std::size_t& lastSize) {
    XMLCh chars[4096];
    unsigned char sizes[4096];
    text.clear();
    lastSize = 0;
    try {
        while (from < to) {
            XMLSize_t eaten = 0;
            const XMLSize_t made = transcoder.transcodeFrom(
                reinterpret_cast<const XMLByte*>(bytes.data()) + from, to - from, chars, 4096,
                eaten, sizes);
            if (eaten == 0) return false;
            text.append(chars, made);
            if (made > 0) lastSize = sizes[made - 1];  // a shift sequence makes nothing
            from += eaten;
        }
    } catch (const XMLException&) {
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<InputSource> InternalSubsetCapture::record(const InputSource& document) {
    bytes.clear();
    recording = true;
    start = 0;
    return std::make_unique<ObservedSource>(document, [this](const XMLByte* read, XMLSize_t count) {
        if (recording) bytes.append(reinterpret_cast<const char*>(read), count);
    });
}

void InternalSubsetCapture::stop() {
    recording = false;
    std::string().swap(bytes);
}

bool InternalSubsetCapture::take(XMLFilePos end, const XMLCh* encoding,
                                 std::u16string& text) const {
    const std::size_t mark = byteOrderMarkLength(bytes);
    if (start == 0 || end <= start || end + mark > bytes.size()) return false;
    const std::size_t from = static_cast<std::size_t>(start) + mark;
    const std::size_t to = static_cast<std::size_t>(end) + mark;

    // The name alone can leave the byte order open ("UTF-16", "UCS-4"); the scanner then went
    // by the first bytes, so those are tried second.
    const XMLRecognizer::Encodings sensed = XMLRecognizer::basicEncodingProbe(
        reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size());
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto transcoder = [&]() -> std::unique_ptr<XMLTranscoder> {
            XMLTransService::Codes code;
            return std::unique_ptr<XMLTranscoder>(
                attempt == 0 && encoding
                    ? XMLPlatformUtils::fgTransService->makeNewTranscoderFor(encoding, code, 4096)
                    : XMLPlatformUtils::fgTransService->makeNewTranscoderFor(sensed, code, 4096));
        };
        std::u16string subset, open;
        std::size_t closeSize = 0, openSize = 0;
        auto forSubset = transcoder();
        if (!forSubset || !decode(*forSubset, bytes, from, to, subset, closeSize)) continue;
        if (subset.empty() || subset.back() != u']' || closeSize > from) continue;
        // '[' takes as many bytes as ']'.
        auto forOpen = transcoder();
        if (!forOpen || !decode(*forOpen, bytes, from - closeSize, from, open, openSize) ||
            open != u"[")
            continue;
        subset.pop_back();
        text = std::move(subset);
        return true;
    }
    return false;
}

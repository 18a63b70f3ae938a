#pragma once

#include <memory>
#include <string>

#include <xercesc/sax/InputSource.hpp>

// Takes the DOCTYPE's internal subset from the file as it stands there. The library's own text
// of the subset is rebuilt from the declarations it read and loses quotes and references in
// literals, parameter entities, NOTATION types and public ids on the way. The document is read
// through a source made here, which keeps the bytes read until the prolog is over; the
// scanner's byte offsets just after '[' and just after ']' then mark the subset, and the bytes
// between are decoded in the document's encoding.
class InternalSubsetCapture {
public:
    // Key of the user data that marks a DOCTYPE whose subset text could not be taken from the
    // file (the library's rebuilt text is left there); such a subset is never written out.
    static constexpr const char16_t* kNotCaptured = u"quennel-subset-not-captured";

    // Reads through document and keeps what it reads here; lives as long as the parse.
    std::unique_ptr<xercesc::InputSource> record(const xercesc::InputSource& document);
    // Calls parse with such a source; the bytes are dropped however the parse ends.
    template <typename Parse>
    void parseRecording(const xercesc::InputSource& document, Parse parse) {
        const std::unique_ptr<xercesc::InputSource> recorded = record(document);
        try {
            parse(*recorded);
        } catch (...) {
            stop();
            throw;
        }
        stop();
    }
    // The prolog is over, or holds no subset: the bytes are dropped.
    void stop();
    // The scanner's source offset just after '['.
    void subsetStarts(XMLFilePos offset) { start = offset; }
    // Decodes the subset, which ends just before the ']' that ends before offset. False when
    // the recorded bytes do not hold it exactly there.
    bool take(XMLFilePos end, const XMLCh* encoding, std::u16string& text) const;

private:
    std::string bytes;
    bool recording = false;
    XMLFilePos start = 0;
};

#pragma once

#include <cstddef>
#include <functional>

#include "output/CutPlan.h"

// Copies a file's bytes without what a CutPlan removes, and without changing anything else.
// The file has been parsed already (it is well formed); its markup is found here with a scanner
// of its own, which only has to tell tags, comments, processing instructions, CDATA sections and
// the DOCTYPE apart, and which checks that it meets the elements the parse counted.
//
// A removed element takes with it the blank space that indents it, from the line break before
// it, when it stands alone on its line(s) (several removed elements side by side count as one)
// between texts that hold only white space; otherwise only its own bytes go, so that no text
// of the document changes. A removed attribute takes the blank space before it.
class SourceCutter {
public:
    // How the file's characters are stored: one byte per ASCII character (UTF-8, ISO-8859-x and
    // other encodings whose multibyte characters never hold an ASCII byte), or UTF-16.
    enum class Units { Bytes, Utf16LE, Utf16BE };
    // Receives the kept bytes in order; false stops the copy.
    using Sink = std::function<bool(const unsigned char*, std::size_t)>;
    // Told that the bytes before an offset will not be read again.
    using Release = std::function<void(std::size_t)>;

    enum class Result {
        Cut,
        // The bytes do not hold what the parse found (the file changed since, or is not what it
        // seemed), or the sink refused a write.
        Mismatch,
        // A removed element stands between a CR and an LF inside a text: cut out, it would
        // leave one line end where the text has two.
        JoinsLineEnd,
    };
    // Anything but Cut: what was written is to be thrown away.
    static Result cut(const unsigned char* data, std::size_t size, Units units, const CutPlan& plan,
                      const Sink& sink, const Release& release);
};

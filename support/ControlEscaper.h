#pragma once

#include <streambuf>

// Passes everything written on to another stream buffer, but shows the control characters that a
// terminal would act on as escapes: C0 controls other than tab and line feed and DEL become
// \x1B, \x7F and so on, the C1 controls (U+0080 to U+009F, in UTF-8) \u0080 to \u009F. A value from a
// file can then not move the cursor, clear the screen or retitle the window. Bytes that are not
// UTF-8 pass as they are.
class ControlEscaper : public std::streambuf {
public:
    explicit ControlEscaper(std::streambuf* target) : target(target) {}

    // Puts an escaper in front of std::cout for the rest of the process.
    static void installOnStandardOutput();

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    bool put(unsigned char c);
    bool putEscape(unsigned code);

    std::streambuf* target;
    bool leadC2 = false;  // a 0xC2 byte waits for the next: together they may be a C1 control
};

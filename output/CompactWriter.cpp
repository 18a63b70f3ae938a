#include "output/CompactWriter.h"

#include <cstdio>

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

using namespace xercesc;

namespace {

constexpr XMLCh kCR = u'\r';
constexpr XMLCh kLF = u'\n';

bool hasText(const XMLCh* text) { return text && *text; }

// What XML 1.1 allows only as a reference (C0 and C1 controls), and its line ends besides CR
// and LF (NEL is a C1 control; LS), which would read back as LF.
bool xml11Reference(XMLCh c) {
    return (c < 0x20 && c != u'\t' && c != kLF && c != kCR) || (c >= 0x7F && c <= 0x9F) ||
           c == 0x2028;
}

}  // namespace

CompactWriter::CompactWriter(XMLFormatTarget* target)
    : formatter(u"UTF-8", target, XMLFormatter::NoEscapes, XMLFormatter::UnRep_CharRef,
                XMLPlatformUtils::fgMemoryManager) {}

CompactWriter::~CompactWriter() = default;

void CompactWriter::version(bool version11, bool wholeDocument) {
    xml11 = version11;
    if (xml11 && wholeDocument)
        formatter << XMLFormatter::NoEscapes << u"<?xml version=\"1.1\" encoding=\"UTF-8\"?>" << kCR << kLF;
}

void CompactWriter::startTag(const XMLCh* name) { formatter << XMLFormatter::NoEscapes << u'<' << name; }

void CompactWriter::attribute(const XMLCh* name, const XMLCh* value) {
    formatter << XMLFormatter::NoEscapes << u' ' << name << u"=\"";
    if (!value) value = u"";
    writeEscaped(value, XMLString::stringLen(value), true);
    formatter << XMLFormatter::NoEscapes << u'"';
}

void CompactWriter::closeStartTag(bool empty) {
    formatter << XMLFormatter::NoEscapes;
    if (empty)
        formatter << u"/>";
    else
        formatter << u'>';
}

void CompactWriter::endTag(const XMLCh* name) { formatter << XMLFormatter::NoEscapes << u"</" << name << u'>'; }

void CompactWriter::text(const XMLCh* chars, XMLSize_t length, bool startsNode) {
    if (startsNode && length > 0 && chars[0] == kLF) formatter << XMLFormatter::NoEscapes << kCR;
    writeEscaped(chars, length, false);
}

void CompactWriter::cdata(const XMLCh* chars, XMLSize_t length) {
    formatter << XMLFormatter::NoEscapes << u"<![CDATA[";
    formatter.formatBuf(chars, length, XMLFormatter::NoEscapes, XMLFormatter::DefaultUnRep);
    formatter << u"]]>";
}

void CompactWriter::entityReference(const XMLCh* name) {
    formatter << XMLFormatter::NoEscapes << u'&' << name << u';';
}

void CompactWriter::processingInstruction(const XMLCh* target, const XMLCh* data) {
    formatter << XMLFormatter::NoEscapes << u"<?" << target;
    if (hasText(data)) formatter << u' ' << data;
    formatter << u"?>";
}

void CompactWriter::comment(const XMLCh* text) {
    formatter << XMLFormatter::NoEscapes << u"<!--" << (text ? text : u"") << u"-->";
}

void CompactWriter::doctype(const XMLCh* name, const XMLCh* publicId, const XMLCh* systemId,
                            const XMLCh* subset) {
    formatter << XMLFormatter::NoEscapes << u"<!DOCTYPE " << name;
    if (hasText(publicId)) {
        formatter << u" PUBLIC ";
        writeLiteral(publicId);
        if (hasText(systemId)) {
            formatter << u' ';
            writeLiteral(systemId);
        }
    } else if (hasText(systemId)) {
        formatter << u" SYSTEM ";
        writeLiteral(systemId);
    }
    if (hasText(subset)) formatter << u'[' << subset << u']';
    formatter << u'>';
}

void CompactWriter::endTopLevel() { formatter << XMLFormatter::NoEscapes << kCR << kLF; }

void CompactWriter::writeEscaped(const XMLCh* value, XMLSize_t length, bool attribute) {
    const XMLFormatter::EscapeFlags escapes =
        attribute ? XMLFormatter::AttrEscapes : XMLFormatter::StdEscapes;
    XMLSize_t from = 0;
    for (XMLSize_t i = 0; i < length; ++i) {
        const XMLCh c = value[i];
        // A CR in text would read back as LF (in a value, the formatter's escapes catch it).
        if (!(c == kCR && !attribute) && !(xml11 && xml11Reference(c))) continue;
        formatter.formatBuf(value + from, i - from, escapes, XMLFormatter::DefaultUnRep);
        char digits[8];
        std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(c));
        formatter << XMLFormatter::NoEscapes << u"&#x";
        for (const char* d = digits; *d; ++d) formatter << static_cast<XMLCh>(*d);
        formatter << u';';
        from = i + 1;
    }
    formatter.formatBuf(value + from, length - from, escapes, XMLFormatter::DefaultUnRep);
}

// Quoted with a quote the literal does not hold (it never holds both).
void CompactWriter::writeLiteral(const XMLCh* literal) {
    const XMLCh quote = XMLString::indexOf(literal, u'"') < 0 ? u'"' : u'\'';
    formatter << XMLFormatter::NoEscapes << quote << literal << quote;
}

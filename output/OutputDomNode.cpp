#include "output/OutputDomNode.h"

#include <cstdio>

#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMDocumentType.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include "input/InternalSubsetCapture.h"
#include "support/Platform.h"

using namespace xercesc;

namespace {

constexpr XMLCh kCR = u'\r';
constexpr XMLCh kLF = u'\n';

bool hasText(const XMLCh* text) { return text && *text; }

bool isXml11(DOMNode* node) {
    const DOMDocument* document = node->getNodeType() == DOMNode::DOCUMENT_NODE
                                      ? static_cast<DOMDocument*>(node)
                                      : node->getOwnerDocument();
    const XMLCh* version = document ? document->getXmlVersion() : nullptr;
    return version && XMLString::equals(version, u"1.1");
}

// What XML 1.1 allows only as a reference (C0 and C1 controls), and its line ends besides CR
// and LF (NEL is a C1 control; LS), which would read back as LF.
bool xml11Reference(XMLCh c) {
    return (c < 0x20 && c != u'\t' && c != kLF && c != kCR) || (c >= 0x7F && c <= 0x9F) ||
           c == 0x2028;
}

}  // namespace

OutputDomNode::~OutputDomNode() { delete formatter; }

void OutputDomNode::output(DOMNode* node, XMLFormatTarget* target) {
    delete formatter;
    formatter = nullptr;
    formatter = new XMLFormatter(u"UTF-8", target, XMLFormatter::NoEscapes,
                                 XMLFormatter::UnRep_CharRef, XMLPlatformUtils::fgMemoryManager);
    xml11 = isXml11(node);
    if (xml11 && node->getNodeType() == DOMNode::DOCUMENT_NODE)
        *formatter << u"<?xml version=\"1.1\" encoding=\"UTF-8\"?>" << kCR << kLF;
    outputNode(node);
    delete formatter;
    formatter = nullptr;
}

// A loop over first child / next sibling / parent rather than recursion, so the depth of the
// tree is bounded by memory and not by the stack.
void OutputDomNode::outputNode(DOMNode* start) {
    DOMNode* node = start;
    for (;;) {
        if (openNode(node)) {
            node = node->getFirstChild();
            continue;
        }
        for (;;) {
            if (node == start) return;
            DOMNode* parent = node->getParentNode();
            if (parent->getNodeType() == DOMNode::DOCUMENT_NODE) *formatter << kCR << kLF;
            if (DOMNode* next = node->getNextSibling()) {
                node = next;
                break;
            }
            node = parent;
            closeNode(node);
        }
    }
}

bool OutputDomNode::openNode(DOMNode* node) {
    XMLFormatter& out = *formatter;
    const XMLCh* name = node->getNodeName();
    const XMLCh* value = node->getNodeValue();
    const XMLSize_t length = value ? XMLString::stringLen(value) : 0;

    switch (node->getNodeType()) {
        case DOMNode::DOCUMENT_NODE:
            return node->getFirstChild() != nullptr;

        case DOMNode::ELEMENT_NODE: {
            out << XMLFormatter::NoEscapes << u'<' << name;
            if (DOMNamedNodeMap* attributes = node->getAttributes()) {
                const XMLSize_t count = attributes->getLength();
                for (XMLSize_t i = 0; i < count; ++i) {
                    auto* attribute = static_cast<DOMAttr*>(attributes->item(i));
                    // A default the DTD supplied is supplied again when the file is read.
                    if (!attribute->getSpecified()) continue;
                    out << XMLFormatter::NoEscapes << u' ' << attribute->getName() << u"=\"";
                    writeEscaped(attribute->getValue(), true);
                    out << XMLFormatter::NoEscapes << u'"';
                }
            }
            if (node->getFirstChild()) {
                out << u'>';
                return true;
            }
            out << u"/>";
            return false;
        }

        case DOMNode::TEXT_NODE: {
            if (value && value[0] == kLF) out << XMLFormatter::NoEscapes << kCR;
            writeEscaped(value, false);
            return false;
        }

        case DOMNode::CDATA_SECTION_NODE:
            out << XMLFormatter::NoEscapes << u"<![CDATA[" << value << u"]]>";
            return false;

        case DOMNode::ENTITY_REFERENCE_NODE:
            out << XMLFormatter::NoEscapes << u'&' << name << u';';
            return false;

        case DOMNode::PROCESSING_INSTRUCTION_NODE:
            out << XMLFormatter::NoEscapes << u"<?" << name;
            if (length > 0) out << u' ' << value;
            out << u"?>";
            return false;

        case DOMNode::COMMENT_NODE:
            out << XMLFormatter::NoEscapes << u"<!--" << value << u"-->";
            return false;

        case DOMNode::DOCUMENT_TYPE_NODE: {
            auto* type = static_cast<DOMDocumentType*>(node);
            const XMLCh* publicId = type->getPublicId();
            const XMLCh* systemId = type->getSystemId();
            const XMLCh* subset = type->getInternalSubset();
            if (type->getUserData(InternalSubsetCapture::kNotCaptured))
                throw "The internal subset could not be read from the file.";
            out << XMLFormatter::NoEscapes << u"<!DOCTYPE " << name;
            if (hasText(publicId)) {
                out << u" PUBLIC ";
                writeLiteral(publicId);
                if (hasText(systemId)) {
                    out << u' ';
                    writeLiteral(systemId);
                }
            } else if (hasText(systemId)) {
                out << u" SYSTEM ";
                writeLiteral(systemId);
            }
            if (hasText(subset)) out << u'[' << subset << u']';
            out << u'>';
            return false;
        }

        default:
            debugOutput("\nUnrecognized node type  ");
            return false;
    }
}

void OutputDomNode::writeEscaped(const XMLCh* value, bool attribute) {
    XMLFormatter& out = *formatter;
    const XMLFormatter::EscapeFlags escapes =
        attribute ? XMLFormatter::AttrEscapes : XMLFormatter::StdEscapes;
    if (!value) value = u"";
    const XMLSize_t length = XMLString::stringLen(value);
    XMLSize_t from = 0;
    for (XMLSize_t i = 0; i < length; ++i) {
        const XMLCh c = value[i];
        // A CR in text would read back as LF (in a value, the formatter's escapes catch it).
        if (!(c == kCR && !attribute) && !(xml11 && xml11Reference(c))) continue;
        out.formatBuf(value + from, i - from, escapes, XMLFormatter::DefaultUnRep);
        char digits[8];
        std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(c));
        out << XMLFormatter::NoEscapes << u"&#x";
        for (const char* d = digits; *d; ++d) out << static_cast<XMLCh>(*d);
        out << u';';
        from = i + 1;
    }
    out.formatBuf(value + from, length - from, escapes, XMLFormatter::DefaultUnRep);
}

// Quoted with a quote the literal does not hold (it never holds both).
void OutputDomNode::writeLiteral(const XMLCh* literal) {
    const XMLCh quote = XMLString::indexOf(literal, u'"') < 0 ? u'"' : u'\'';
    *formatter << XMLFormatter::NoEscapes << quote << literal << quote;
}

void OutputDomNode::closeNode(DOMNode* node) {
    if (node->getNodeType() == DOMNode::ELEMENT_NODE)
        *formatter << XMLFormatter::NoEscapes << u"</" << node->getNodeName() << u'>';
}

#include "output/OutputDomNode.h"

#include <xercesc/dom/DOMDocumentType.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include "support/Platform.h"

using namespace xercesc;

namespace {

constexpr XMLCh kCR = u'\r';
constexpr XMLCh kLF = u'\n';

bool hasText(const XMLCh* text) { return text && *text; }

}  // namespace

OutputDomNode::~OutputDomNode() { delete formatter; }

void OutputDomNode::output(DOMNode* node, XMLFormatTarget* target) {
    delete formatter;
    formatter = nullptr;
    formatter = new XMLFormatter(u"UTF-8", target, XMLFormatter::NoEscapes,
                                 XMLFormatter::UnRep_CharRef, XMLPlatformUtils::fgMemoryManager);
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
                    DOMNode* attribute = attributes->item(i);
                    out << XMLFormatter::NoEscapes << u' ' << attribute->getNodeName() << u"=\""
                        << XMLFormatter::AttrEscapes << attribute->getNodeValue()
                        << XMLFormatter::NoEscapes << u'"';
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
            // A CR in the content would read back as LF; as a reference it reads back as CR.
            XMLSize_t from = 0;
            for (XMLSize_t i = 0; i < length; ++i) {
                if (value[i] != kCR) continue;
                out.formatBuf(value + from, i - from, XMLFormatter::StdEscapes,
                              XMLFormatter::DefaultUnRep);
                out << XMLFormatter::NoEscapes << u"&#xD;";
                from = i + 1;
            }
            out.formatBuf(value ? value + from : u"", length - from, XMLFormatter::StdEscapes,
                          XMLFormatter::DefaultUnRep);
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
            out << XMLFormatter::NoEscapes << u"<!DOCTYPE " << name;
            if (hasText(publicId)) {
                out << u" PUBLIC \"" << publicId << u'"';
                if (hasText(systemId)) out << u" \"" << systemId << u'"';
            } else if (hasText(systemId)) {
                out << u" SYSTEM \"" << systemId << u'"';
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

void OutputDomNode::closeNode(DOMNode* node) {
    if (node->getNodeType() == DOMNode::ELEMENT_NODE)
        *formatter << XMLFormatter::NoEscapes << u"</" << node->getNodeName() << u'>';
}

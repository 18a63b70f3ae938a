#include "output/OutputDomNode.h"


#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMDocumentType.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/util/XMLString.hpp>

#include "input/InternalSubsetCapture.h"
#include "output/CompactWriter.h"
#include "support/Platform.h"

using namespace xercesc;

namespace {

bool isXml11(DOMNode* node) {
    const DOMDocument* document = node->getNodeType() == DOMNode::DOCUMENT_NODE
                                      ? static_cast<DOMDocument*>(node)
                                      : node->getOwnerDocument();
    const XMLCh* version = document ? document->getXmlVersion() : nullptr;
    return version && XMLString::equals(version, u"1.1");
}

XMLSize_t lengthOf(const XMLCh* value) { return value ? XMLString::stringLen(value) : 0; }

}  // namespace

OutputDomNode::~OutputDomNode() = default;

void OutputDomNode::output(DOMNode* node, XMLFormatTarget* target) {
    CompactWriter compact(target);
    writer = &compact;
    compact.version(isXml11(node), node->getNodeType() == DOMNode::DOCUMENT_NODE);
    try {
        outputNode(node);
    } catch (...) {
        writer = nullptr;
        throw;
    }
    writer = nullptr;
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
            if (parent->getNodeType() == DOMNode::DOCUMENT_NODE) writer->endTopLevel();
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
    CompactWriter& out = *writer;
    const XMLCh* name = node->getNodeName();
    const XMLCh* value = node->getNodeValue();

    switch (node->getNodeType()) {
        case DOMNode::DOCUMENT_NODE:
            return node->getFirstChild() != nullptr;

        case DOMNode::ELEMENT_NODE: {
            out.startTag(name);
            if (DOMNamedNodeMap* attributes = node->getAttributes()) {
                const XMLSize_t count = attributes->getLength();
                for (XMLSize_t i = 0; i < count; ++i) {
                    auto* attribute = static_cast<DOMAttr*>(attributes->item(i));
                    // A default the DTD supplied is supplied again when the file is read.
                    if (attribute->getSpecified()) out.attribute(attribute->getName(), attribute->getValue());
                }
            }
            const bool children = node->getFirstChild() != nullptr;
            out.closeStartTag(!children);
            return children;
        }

        case DOMNode::TEXT_NODE:
            out.text(value ? value : u"", lengthOf(value), true);
            return false;

        case DOMNode::CDATA_SECTION_NODE:
            out.cdata(value ? value : u"", lengthOf(value));
            return false;

        case DOMNode::ENTITY_REFERENCE_NODE:
            out.entityReference(name);
            return false;

        case DOMNode::PROCESSING_INSTRUCTION_NODE:
            out.processingInstruction(name, value);
            return false;

        case DOMNode::COMMENT_NODE:
            out.comment(value);
            return false;

        case DOMNode::DOCUMENT_TYPE_NODE: {
            auto* type = static_cast<DOMDocumentType*>(node);
            if (type->getUserData(InternalSubsetCapture::kNotCaptured))
                throw "The internal subset could not be read from the file.";
            out.doctype(name, type->getPublicId(), type->getSystemId(), type->getInternalSubset());
            return false;
        }

        default:
            debugOutput("\nUnrecognized node type  ");
            return false;
    }
}

void OutputDomNode::closeNode(DOMNode* node) {
    if (node->getNodeType() == DOMNode::ELEMENT_NODE) writer->endTag(node->getNodeName());
}

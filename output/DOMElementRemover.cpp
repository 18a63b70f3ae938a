#include "output/DOMElementRemover.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "input/DocumentLoader.h"
#include "input/QelDOMParser.h"
#include "input/XercesLibrary.h"
#include "output/FileTarget.h"
#include "output/Selector.h"
#include "output/WritableExpansion.h"
#include "support/FailureHandlers.h"
#include "support/Utf8.h"

using namespace xercesc;

namespace {

struct Matches {
    std::size_t count = 0;          // every match, nested ones included
    std::vector<DOMNode*> outermost;  // matches not inside another match, in document order
    std::vector<std::size_t> sizes;   // how many matches each outermost one takes with it
    std::vector<DOMAttr*> attributes;  // for an attribute selector, every match
    std::vector<DOMNode*> elements;    // for an element selector, every match
};

// One walk over the whole tree instead of a live list that recounts after every removal. An
// attribute that a DTD supplies by default is not in the file, and is not selected; nor, in a
// file that is rewritten, is a namespace declaration, whose prefix the file may still use.
Matches findMatches(DOMNode* root, const Selector& selector, bool declarations) {
    Matches found;
    if (!root) return found;
    std::vector<const XMLCh*> path;  // names of the open elements, the document element first
    DOMNode* inside = nullptr;
    DOMNode* node = root->getFirstChild();
    while (node) {
        if (node->getNodeType() == DOMNode::ELEMENT_NODE) {
            path.push_back(node->getNodeName());
            if (selector.selectsAttributes()) {
                DOMNamedNodeMap* attributes = node->getAttributes();
                for (XMLSize_t i = 0; attributes && i < attributes->getLength(); ++i) {
                    auto* attribute = static_cast<DOMAttr*>(attributes->item(i));
                    if (attribute->getSpecified() &&
                        (declarations || !isNamespaceDeclaration(attribute->getName())) &&
                        selector.matchesAttribute(path.data(), path.size(), attribute->getName())) {
                        ++found.count;
                        found.attributes.push_back(attribute);
                    }
                }
            } else if (selector.matchesElement(path.data(), path.size())) {
                ++found.count;
                found.elements.push_back(node);
                if (!inside) {
                    inside = node;
                    found.outermost.push_back(node);
                    found.sizes.push_back(0);
                }
                ++found.sizes.back();
            }
        }
        if (DOMNode* child = node->getFirstChild()) {
            node = child;
            continue;
        }
        while (node && node != root) {
            if (node->getNodeType() == DOMNode::ELEMENT_NODE) path.pop_back();
            if (node == inside) inside = nullptr;
            if (DOMNode* next = node->getNextSibling()) {
                node = next;
                break;
            }
            node = node->getParentNode();
        }
        if (node == root) break;
    }
    return found;
}

}  // namespace

std::string DOMElementRemover::positionOf(const DOMNode* node) const {
    // A node from an entity's expansion has no place of its own: its reference's element has.
    for (; node && positionsParser; node = node->getParentNode()) {
        const auto found = positionsParser->positions().find(node);
        if (found != positionsParser->positions().end())
            return std::to_string(found->second.line) + ":" + std::to_string(found->second.column);
    }
    return "?:?";
}

bool DOMElementRemover::initializeXerces() { return ::initializeXerces(); }
bool DOMElementRemover::terminateXerces() { return ::terminateXerces(); }

bool DOMElementRemover::removeElements() {
    bool changed = false;
    for (const char* name : namesToRemove) {
        // The commands refuse a malformed selector before anything is read.
        const std::optional<Selector> selector = Selector::parse(name, nullptr);
        const Matches matches = selector ? findMatches(rootNode, *selector, filePath.empty()) : Matches();
        if (matches.count == 0) {
            std::cout << "\n\n The element " << name << " was not found.";
            continue;
        }
        changed = true;
        if (!filePath.empty()) {
            const std::string file = filePath.toBytes(nullptr, nullptr, nullptr, nullptr);
            std::cout << "\n Removing: " << name << "( " << file << " )";
            if (dryRun) {
                for (DOMNode* element : matches.elements)
                    std::cout << "\n    " << file << ":" << positionOf(element) << ": element <"
                              << encodeUtf8(element->getNodeName()) << ">";
                for (DOMAttr* attribute : matches.attributes)
                    std::cout << "\n    " << file << ":" << positionOf(attribute->getOwnerElement())
                              << ": attribute " << encodeUtf8(attribute->getName()) << "=\""
                              << encodeUtf8(attribute->getValue()) << "\"";
            }
            std::cout << "\n Number of Elements: " << matches.count << std::endl;
        }
        if (expansionsWritable) {
            // Matches inside an entity's expansion go as well: this tree is never saved.
            std::unordered_set<DOMNode*> freed;
            const auto free = [&](DOMNode* node) {
                DOMNode* reference = enclosingReference(node);
                if (reference && freed.insert(reference).second) makeExpansionWritable(reference);
            };
            for (DOMAttr* attribute : matches.attributes) free(attribute->getOwnerElement());
            for (DOMNode* element : matches.outermost) free(element);
        }
        for (DOMAttr* attribute : matches.attributes)
            attribute->getOwnerElement()->removeAttributeNode(attribute);
        std::size_t remaining = matches.count;
        for (std::size_t i = 0; i < matches.outermost.size(); ++i) {
            DOMNode* element = matches.outermost[i];
            if (!element->getParentNode()->removeChild(element)) {
                std::cout << "\n\n *** FAILURE: failed to remove the element " << name
                          << " at location " << remaining
                          << "\n\n *** EXITING: removing process is stopped";
                throw "Element removal failure.";
            }
            remaining -= matches.sizes[i];
        }
    }
    return changed;
}

void DOMElementRemover::save() {
    if (replaced)
        saveDocument(rootNode, *replaced);
    else
        saveDocument(rootNode, filePath);
}

bool DOMElementRemover::removeElementsFromDocument(DOMNode*& root, const ElementNames& names) {
    if (names.empty()) {
        std::cout << "No Elements are specified to be removed.";
        return true;
    }
    namesToRemove = names;
    rootNode = root;
    expansionsWritable = true;
    const bool result = runGuarded([&] {
        if (!removeElements()) std::cout << "\n\n The root node has not changed. Elements don't exist.";
    });
    expansionsWritable = false;
    return result;
}

bool DOMElementRemover::removeElementsFromFile(const I18NString& path, const ElementNames& names,
                                               LockedFile& file) {
    if (names.empty()) {
        std::cout << "No Elements are specified to be removed.";
        return true;
    }
    filePath = path;
    namesToRemove = names;
    replaced = &file;
    XercesDOMParser* parser = nullptr;
    const bool result = runGuarded([&] {
        if (!initializeXerces()) throw "Error while initializing Xerces";
        // Not opened for reading: the same failure as a file the parser cannot open.
        if (file.descriptor() < 0) throw "Error occured while parsing the file.";
        if (dryRun) {
            // Each match is shown where it stands in the file.
            auto recording = std::make_unique<QelDOMParser>();
            recording->setRecordPositions(true);
            positionsParser = recording.get();
            parser = recording.release();
        }
        rootNode = loadDocument(&filePath, file.descriptor(), &parser, false);
        if (!rootNode) throw "The root node is NULL.";
        if (!removeElements()) {
            std::cout << "\n\n The file has not changed.";
            return;
        }
        if (dryRun) {
            std::cout << "\n\n Dry run (-n): nothing was written, the file was not changed.";
            return;
        }
        save();
    });
    delete parser;
    positionsParser = nullptr;
    rootNode = nullptr;
    replaced = nullptr;
    if (!terminateXerces()) std::cout << "\n\n Warning: Error whild terminating Xerces.";
    return result;
}

bool DOMElementRemover::removeElementsFromStandardInput(const ElementNames& names) {
    filePath = I18NString("-", nullptr, -1, nullptr, nullptr);
    namesToRemove = names;
    XercesDOMParser* parser = nullptr;
    const bool result = runGuarded([&] {
        if (!initializeXerces()) throw "Error while initializing Xerces";
        if (dryRun) {
            auto recording = std::make_unique<QelDOMParser>();
            recording->setRecordPositions(true);
            positionsParser = recording.get();
            parser = recording.release();
        }
        rootNode = loadDocument(&filePath, &parser, false);
        if (!rootNode) throw "The root node is NULL.";
        if (names.empty()) {
            std::cout << "No Elements are specified to be removed.";
        } else if (!removeElements()) {
            std::cout << "\n\n The file has not changed.";
        } else if (dryRun) {
            std::cout << "\n\n Dry run (-n): nothing was written, the file was not changed.";
        }
        if (dryRun) return;
        // What comes out is the whole document, whether or not anything was removed.
        std::cout.flush();
        writeDocumentToStandardOutput(rootNode);
    });
    delete parser;
    positionsParser = nullptr;
    rootNode = nullptr;
    if (!terminateXerces()) std::cout << "\n\n Warning: Error whild terminating Xerces.";
    return result;
}

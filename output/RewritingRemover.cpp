#include "output/RewritingRemover.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <string>

#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/util/XMLString.hpp>

#include "input/DocumentLoader.h"
#include "input/QelElementParser.h"
#include "input/XercesLibrary.h"
#include "output/CompactWriter.h"
#include "output/FileTarget.h"
#include "output/Selector.h"
#include "support/FailureHandlers.h"
#include "support/Platform.h"
#include "support/Utf8.h"

using namespace xercesc;

namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
// Text is written in pieces of about this many units, whatever its length.
constexpr std::size_t kTextPiece = 1 << 16;

const char* const kSaveFailed = "An error occured while saving the DOM tree to the file.";

// A match that stands in an entity's expansion: the tree holds it read-only and cannot give
// it up, so the removal ends as the tree's did, with the unknown-exception block.
struct ReadOnlyExpansion {};

// Follows the parse: counts what each selector takes (one after another: what an earlier one
// took is not there for a later one) and writes everything else.
class Rewriter : public QelElementParser::Listener {
public:
    Rewriter(const Selectors& selectors, std::string file, bool listing, CompactWriter* writer)
        : counts(selectors.size()), lines(selectors.size()), readOnly(selectors.size()),
          selectors(selectors), file(std::move(file)), listing(listing), writer(writer) {}

    void encoding(const XMLCh*, const XMLCh*) override {}
    void version(const XMLCh* declared) override { xml11 = XMLString::equals(declared, u"1.1"); }

    void startElement(const XMLCh* name, const RefVectorOf<XMLAttr>& attrs, XMLSize_t attrCount,
                      const XMLCh* entity, XMLFileLoc line, XMLFileLoc column) override {
        const bool parentShown = shownHere();
        const std::size_t parentRemoved = frames.empty() ? kNone : frames.back().removedBy;
        path.push_back(name);
        Frame frame{kNone, line, column, false};
        // Nothing of an expansion has a place of its own: its reference's element has.
        if (entity && !frames.empty()) {
            frame.line = frames.back().line;
            frame.column = frames.back().column;
        }
        std::size_t first = kNone;
        for (std::size_t i = 0; i < selectors.size(); ++i) {
            if (selectors[i].selectsAttributes() || !selectors[i].matchesElement(path.data(), path.size()))
                continue;
            first = i;
            if (i <= parentRemoved) {
                note(i, frame, "element <" + encodeUtf8(name) + ">");
                if (entity && i < parentRemoved) readOnly[i] = true;
            }
            break;
        }
        frame.removedBy = std::min(parentRemoved, first);
        if (frames.empty() && first != kNone && refusal.empty())
            refusal = "cannot remove the element <" + encodeUtf8(name) + "> at " + file + ":" +
                      std::to_string(frame.line) + ":" + std::to_string(frame.column) +
                      ": it is the document element, and the file would not be XML without it";

        // The tree keeps attributes sorted by name; a DTD's defaults are not in the file, and
        // namespace declarations are never selected.
        sorted.clear();
        for (XMLSize_t k = 0; k < attrCount; ++k)
            if (attrs.elementAt(k)->getSpecified()) sorted.push_back(attrs.elementAt(k));
        std::sort(sorted.begin(), sorted.end(), [](const XMLAttr* a, const XMLAttr* b) {
            return XMLString::compareString(a->getQName(), b->getQName()) < 0;
        });
        kept.clear();
        for (const XMLAttr* attribute : sorted) {
            bool selected = false;
            if (!isNamespaceDeclaration(attribute->getQName())) {
                for (std::size_t i = 0; i < selectors.size(); ++i) {
                    if (!selectors[i].selectsAttributes() ||
                        !selectors[i].matchesAttribute(path.data(), path.size(), attribute->getQName()))
                        continue;
                    if (i < frame.removedBy) {
                        note(i, frame,
                             "attribute " + encodeUtf8(attribute->getQName()) + "=\"" +
                                 encodeUtf8(attribute->getValue()) + "\"");
                        if (entity) readOnly[i] = true;
                    }
                    selected = true;
                    break;
                }
            }
            if (!selected) kept.push_back(attribute);
        }

        frame.shown = parentShown && frame.removedBy == kNone;
        if (parentShown) {
            // A removed element ends the text before it as well: what follows is a node of its
            // own. It leaves its parent empty if nothing else is there.
            beforeChild(frame.shown);
            if (frame.shown && writer) {
                writer->startTag(name);
                for (const XMLAttr* attribute : kept) writer->attribute(attribute->getQName(), attribute->getValue());
                tagOpen = true;
            }
        }
        frames.push_back(frame);
    }

    void endElement() override {
        const Frame frame = frames.back();
        if (frame.shown) {
            flushText();
            if (writer) {
                if (tagOpen)
                    writer->closeStartTag(true);
                else
                    writer->endTag(path.back());
                if (frames.size() == 1) writer->endTopLevel();
            }
            tagOpen = false;
        }
        afterText = false;
        frames.pop_back();
        path.pop_back();
    }

    void characters(const XMLCh* chars, XMLSize_t length, bool cdata) override {
        // The tree keeps no text outside the document element.
        if (frames.empty() || !shownHere()) return;
        if (cdata) {
            beforeChild();
            if (writer) writer->cdata(chars, length);
            return;
        }
        if (tagOpen) {
            if (writer) writer->closeStartTag(false);
            tagOpen = false;
        }
        if (!afterText) textStarts = true;
        afterText = true;
        if (!writer) return;
        pending.append(chars, length);
        if (pending.size() >= kTextPiece) flushText(true);
    }

    void comment(const XMLCh* text) override {
        if (!shownHere()) return;
        beforeChild();
        if (writer) writer->comment(text);
        endIfTopLevel();
    }

    void processingInstruction(const XMLCh* target, const XMLCh* data) override {
        if (!shownHere()) return;
        beforeChild();
        if (writer) writer->processingInstruction(target, data);
        endIfTopLevel();
    }

    void startEntity(const XMLCh* name) override {
        if (shownHere()) {
            beforeChild();
            if (writer) writer->entityReference(name);
        }
        ++entityDepth;
    }

    void endEntity() override {
        --entityDepth;
        afterText = false;
    }

    void doctype(const XMLCh* name, const XMLCh* publicId, const XMLCh* systemId,
                 const XMLCh* subset) override {
        beforeChild();
        // The library's own text of the subset is not the file's: such a file is not written.
        if (!subset) subsetLost = true;
        if (writer && subset) {
            writer->doctype(name, publicId, systemId, subset);
            writer->endTopLevel();
        }
    }

    std::vector<std::size_t> counts;
    std::vector<std::string> lines;
    std::vector<bool> readOnly;  // a match of the selector stands in an entity's expansion
    std::string refusal;         // why nothing may be written, if anything stands in the way
    bool subsetLost = false;

private:
    struct Frame {
        std::size_t removedBy;  // the first selector that takes it away, with an ancestor
        XMLFileLoc line, column;
        bool shown;  // written out
    };

    bool shownHere() const { return entityDepth == 0 && (frames.empty() || frames.back().shown); }

    // Before a node that is not text, or where a removed element stood.
    void beforeChild(bool shown = true) {
        flushText();
        afterText = false;
        if (!writer) return;
        if (!begun) {
            writer->version(xml11, true);
            begun = true;
        }
        if (!shown) return;
        if (tagOpen) writer->closeStartTag(false);
        tagOpen = false;
    }

    void endIfTopLevel() {
        if (frames.empty() && writer) writer->endTopLevel();
    }

    // With partly, a high surrogate at the end waits for its other half.
    void flushText(bool partly = false) {
        if (pending.empty()) return;
        std::size_t length = pending.size();
        if (partly && pending.back() >= 0xD800 && pending.back() <= 0xDBFF) --length;
        writer->text(pending.data(), length, textStarts);
        textStarts = false;
        pending.erase(0, length);
    }

    void note(std::size_t selector, const Frame& frame, const std::string& what) {
        ++counts[selector];
        if (listing)
            lines[selector] += "\n    " + file + ":" + std::to_string(frame.line) + ":" +
                               std::to_string(frame.column) + ": " + what;
    }

    const Selectors& selectors;
    const std::string file;
    const bool listing;
    CompactWriter* const writer;  // null for a dry run
    std::vector<Frame> frames;
    std::vector<const XMLCh*> path;
    std::vector<const XMLAttr*> sorted, kept;
    std::u16string pending;  // text not yet written
    std::size_t entityDepth = 0;
    bool xml11 = false;
    bool begun = false;
    bool tagOpen = false;     // the innermost shown element's start tag wants its '>' or "/>"
    bool afterText = false;   // the last node in the current element is text
    bool textStarts = false;  // pending starts a text node
};

// Where the rewritten document goes while it is read: the file's replacement, or a file of its
// own until it is copied to standard output. A failure to make or write it comes out where
// saving would: after the messages.
class StreamTarget : public XMLFormatTarget {
public:
    explicit StreamTarget(std::FILE* stream) : stream(stream) {}
    void writeChars(const XMLByte* const bytes, const XMLSize_t count, XMLFormatter* const) override {
        if (!failed && (!stream || std::fwrite(bytes, 1, count, stream) != count)) failed = true;
    }
    std::FILE* stream;
    bool failed = false;
};

class NowhereTarget : public XMLFormatTarget {
public:
    void writeChars(const XMLByte* const, const XMLSize_t, XMLFormatter* const) override {}
};

bool copyToStandardOutput(std::FILE* stream) {
    if (std::fflush(stream) != 0 || std::fseek(stream, 0, SEEK_SET) != 0) return false;
    char buffer[1 << 16];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, stream)) > 0;)
        if (!writeStandardOutput(buffer, got)) return false;
    return !std::ferror(stream);
}

void printMatches(const std::vector<const char*>& words, const std::string& shown, const Rewriter& rewriter,
                  bool& matched) {
    matched = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (rewriter.counts[i] == 0) {
            std::cout << "\n\n The element " << words[i] << " was not found.";
            continue;
        }
        matched = true;
        std::cout << "\n Removing: " << words[i] << "( " << shown << " )" << rewriter.lines[i]
                  << "\n Number of Elements: " << rewriter.counts[i] << std::endl;
        if (rewriter.readOnly[i]) throw ReadOnlyExpansion{};
    }
}

void printRefusal(const std::string& why) {
    std::cout << "\n\n *** FAILURE: " << why << "; nothing was written."
              << "\n\n *** EXITING: removing process is stopped";
}

Selectors parsed(const std::vector<const char*>& words) {
    // The commands refuse a malformed selector before anything is read.
    Selectors selectors;
    for (const char* word : words) selectors.push_back(*Selector::parse(word, nullptr));
    return selectors;
}

}  // namespace

bool RewritingRemover::remove(const I18NString& path, const std::vector<const char*>& words,
                              int descriptor, LockedFile* file) {
    // A file is not read for no names; a filter copies the document all the same.
    if (file && words.empty()) {
        std::cout << "No Elements are specified to be removed.";
        return true;
    }
    bool refused = false;
    const bool result = runGuarded([&] {
        if (!initializeXerces()) throw "Error while initializing Xerces";
        // Not opened for reading: the same failure as a file the parser cannot open.
        if (file && descriptor < 0) throw "Error occured while parsing the file.";
        const Selectors selectors = parsed(words);
        const std::string shown = path.toBytes(nullptr, nullptr, nullptr, nullptr);
        std::unique_ptr<FileTarget> replacement;
        bool replacementFailed = false;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> staged(nullptr, std::fclose);
        StreamTarget stagedTarget(nullptr);
        NowhereTarget nowhere;
        xercesc::XMLFormatTarget* target = &nowhere;
        std::unique_ptr<CompactWriter> writer;
        if (!dryRun) {
            if (file) {
                try {
                    replacement = std::make_unique<FileTarget>(*file);
                    target = replacement.get();
                } catch (...) {
                    replacementFailed = true;
                }
            } else {
                staged.reset(std::tmpfile());
                stagedTarget.stream = staged.get();
                target = &stagedTarget;
            }
            writer = std::make_unique<CompactWriter>(target);
        }
        Rewriter rewriter(selectors, shown, dryRun, writer.get());
        {
            QelElementParser parser(rewriter);
            parser.setCountColumns(dryRun);
            parser.setKeepSubset(true);
            scanElements(&path, descriptor, &parser);
        }
        writer.reset();
        bool matched = false;
        if (words.empty())
            std::cout << "No Elements are specified to be removed.";
        else
            printMatches(words, shown, rewriter, matched);
        if (!words.empty() && !matched) {
            std::cout << "\n\n The file has not changed.";
        } else if (matched && !rewriter.refusal.empty()) {
            printRefusal(rewriter.refusal);
            refused = true;
            return;
        } else if (matched && dryRun) {
            std::cout << "\n\n Dry run (-n): nothing was written, the file was not changed.";
        }
        if (dryRun) return;
        if (file) {
            if (!matched) return;
            if (replacementFailed || rewriter.subsetLost) throw kSaveFailed;
            try {
                replacement->commit();
            } catch (...) {
                throw kSaveFailed;
            }
            return;
        }
        // What comes out is the whole document, whether or not anything was removed.
        std::cout.flush();
        if (stagedTarget.failed || rewriter.subsetLost || !copyToStandardOutput(staged.get()))
            throw kSaveFailed;
    });
    if (!terminateXerces()) std::cout << "\n\n Warning: Error whild terminating Xerces.";
    return result && !refused;
}

bool RewritingRemover::removeFromFile(const I18NString& path, const std::vector<const char*>& words,
                                      LockedFile& file) {
    return remove(path, words, file.descriptor(), &file);
}

bool RewritingRemover::removeFromStandardInput(const std::vector<const char*>& words) {
    return remove(I18NString("-", nullptr, -1, nullptr, nullptr), words, -1, nullptr);
}

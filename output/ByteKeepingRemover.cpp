#include "output/ByteKeepingRemover.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>
#include <string>

#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/util/XMLString.hpp>

#include "input/DocumentLoader.h"
#include "input/QelElementParser.h"
#include "input/XercesLibrary.h"
#include "output/CutPlan.h"
#include "output/Selector.h"
#include "output/SourceCutter.h"
#include "support/FailureHandlers.h"
#include "support/Platform.h"
#include "support/Utf8.h"

using namespace xercesc;

namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

std::uint8_t hashOf(const XMLCh* name) {
    CutPlan::NameHash hash;
    for (; *name; ++name) hash.add(*name);
    return hash.value;
}

std::string upperAscii(const XMLCh* text) {
    std::string upper;
    for (; text && *text; ++text)
        upper.push_back(*text < 0x80 ? static_cast<char>(std::toupper(*text)) : '?');
    return upper;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Encodings in which a byte below 0x80 is always that ASCII character, so that markup can be
// found byte by byte.
bool asciiSafe(const std::string& name) {
    for (const char* exact : {"UTF-8", "UTF8", "US-ASCII", "ASCII", "LATIN1", "L1", "EUC-JP",
                              "EUC-KR", "EUC-CN", "GB2312", "KOI8-R", "KOI8-U"})
        if (name == exact) return true;
    for (const char* family : {"ISO-8859-", "ISO_8859-", "ISO8859-", "ISO8859_", "WINDOWS-125",
                               "CP125", "ISO-LATIN-"})
        if (startsWith(name, family)) return true;
    return false;
}

// Finds, while the file is parsed, what each selector matches (counted as a removal that runs
// the selectors one after another counts) and what the bytes must lose.
class Planner : public QelElementParser::Listener {
public:
    Planner(const Selectors& selectors, std::string file, bool listing)
        : selectors(selectors), file(std::move(file)), listing(listing),
          counts(selectors.size()), lines(selectors.size()) {}

    void encoding(const XMLCh* detected, const XMLCh* declared) override {
        // The library names the encoding it settled on, after the declaration if any.
        const XMLCh* name = detected && *detected ? detected : declared;
        const std::string upper = upperAscii(name);
        if (startsWith(upper, "UTF-16") || startsWith(upper, "UTF16") || startsWith(upper, "UCS-2"))
            sixteenBit = true;
        else if (!asciiSafe(upper))
            refuse("cannot keep the bytes of a file in the encoding " + encodeUtf8(name));
    }

    void startElement(const XMLCh* name, const RefVectorOf<XMLAttr>& attrs, XMLSize_t attrCount,
                      const XMLCh* entity, XMLFileLoc line, XMLFileLoc column) override {
        const std::size_t parentRemoved = frames.empty() ? kNone : frames.back().removedBy;
        path.push_back(name);
        Frame frame{kNone, line, column};
        // Nothing of an expansion stands in the file: its reference's element does.
        if (entity) {
            frame.line = frames.empty() ? 0 : frames.back().line;
            frame.column = frames.empty() ? 0 : frames.back().column;
        }
        std::size_t first = kNone;
        for (std::size_t i = 0; i < selectors.size(); ++i) {
            if (selectors[i].selectsAttributes() || !selectors[i].matchesElement(path.data(), path.size()))
                continue;
            first = i;
            // What an earlier selector took away is not there for a later one.
            if (i <= parentRemoved) note(i, frame, "element <" + encodeUtf8(name) + ">");
            break;
        }
        frame.removedBy = std::min(parentRemoved, first);
        if (frame.removedBy != kNone && parentRemoved == kNone) {
            if (entity)
                refuse(at(frame, "element <" + encodeUtf8(name) + ">") + ": it comes from the entity &" +
                       encodeUtf8(entity) + ";, not from the file's own bytes");
            else if (frames.empty())
                refuse(at(frame, "element <" + encodeUtf8(name) + ">") +
                       ": it is the document element, and the file would not be XML without it");
        }

        std::uint32_t written = 0;
        for (XMLSize_t k = 0; k < attrCount; ++k) written += attrs.elementAt(k)->getSpecified();
        std::uint32_t index = 0;
        for (XMLSize_t k = 0; k < attrCount; ++k) {
            const XMLAttr* attribute = attrs.elementAt(k);
            // A DTD's default is not in the file, and is never selected; nor is a namespace
            // declaration, whose prefix the file may still use.
            if (!attribute->getSpecified()) continue;
            if (isNamespaceDeclaration(attribute->getQName())) {
                ++index;
                continue;
            }
            for (std::size_t i = 0; i < selectors.size(); ++i) {
                if (!selectors[i].selectsAttributes() ||
                    !selectors[i].matchesAttribute(path.data(), path.size(), attribute->getQName()))
                    continue;
                const std::string what = "attribute " + encodeUtf8(attribute->getQName()) + "=\"" +
                                         encodeUtf8(attribute->getValue()) + "\"";
                if (i < frame.removedBy) note(i, frame, what);
                if (frame.removedBy == kNone) {
                    if (entity)
                        refuse(at(frame, what) + ": it comes from the entity &" + encodeUtf8(entity) +
                               ";, not from the file's own bytes");
                    else
                        plan.addAttribute({plan.elements(), index, written,
                                           hashOf(attribute->getQName())});
                }
                break;
            }
            ++index;
        }
        if (!entity) plan.addElement(first != kNone, hashOf(name));
        frames.push_back(frame);
    }

    void endElement() override {
        frames.pop_back();
        path.pop_back();
    }

    CutPlan plan;
    bool sixteenBit = false;  // UTF-16, whose byte order the first bytes tell
    std::string refusal;  // the first reason the matches cannot be cut out, if any
    const Selectors& selectors;
    const std::string file;
    const bool listing;
    std::vector<std::size_t> counts;
    std::vector<std::string> lines;

private:
    struct Frame {
        std::size_t removedBy;  // the first selector that takes it away, with an ancestor
        XMLFileLoc line, column;
    };

    std::string at(const Frame& frame, const std::string& what) const {
        return "cannot remove the " + what + " at " + file + ":" + std::to_string(frame.line) +
               ":" + std::to_string(frame.column);
    }
    void note(std::size_t selector, const Frame& frame, const std::string& what) {
        ++counts[selector];
        if (listing)
            lines[selector] += "\n    " + file + ":" + std::to_string(frame.line) + ":" +
                               std::to_string(frame.column) + ": " + what;
    }
    void refuse(const std::string& why) {
        if (refusal.empty()) refusal = why;
    }

    std::vector<Frame> frames;
    std::vector<const XMLCh*> path;
};

void printFailure(const std::string& why) {
    std::cout << "\n\n *** FAILURE: -k " << why << "." << "\n\n *** EXITING: removing process is stopped";
}

// The file behind descriptor, mapped for reading; pages that were read are let go as the copy
// moves on, so that memory stays small whatever the size.
class MappedFile {
public:
    explicit MappedFile(int descriptor) {
        struct stat status {};
        if (fstat(descriptor, &status) != 0 || status.st_size <= 0) return;
        size_ = static_cast<std::size_t>(status.st_size);
        void* mapped = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, descriptor, 0);
        if (mapped == MAP_FAILED) return;
        data_ = static_cast<unsigned char*>(mapped);
        madvise(data_, size_, MADV_SEQUENTIAL);
    }
    ~MappedFile() {
        if (data_) munmap(data_, size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const unsigned char* data() const { return data_; }
    std::size_t size() const { return size_; }
    void release(std::size_t before) {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t end = before / page * page;
        if (data_ && end > released_) {
            madvise(data_ + released_, end - released_, MADV_DONTNEED);
            released_ = end;
        }
    }

private:
    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t released_ = 0;
};

}  // namespace

bool ByteKeepingRemover::remove(const I18NString& path, const std::vector<const char*>& words,
                                int descriptor, LockedFile* file) {
    if (words.empty()) {
        std::cout << "No Elements are specified to be removed.";
        return true;
    }
    bool refused = false;
    const bool completed = runGuarded([&] {
        if (!initializeXerces()) throw "Error while initializing Xerces";
        // Not opened for reading: the same failure as a file the parser cannot open.
        if (descriptor < 0) throw "Error occured while parsing the file.";
        Selectors selectors;
        for (const char* word : words) selectors.push_back(*Selector::parse(word, nullptr));
        const std::string shown = path.toBytes(nullptr, nullptr, nullptr, nullptr);
        Planner planner(selectors, shown, dryRun);
        {
            QelElementParser parser(planner);
            parser.setCountColumns(dryRun);
            scanElements(&path, descriptor, &parser);
        }
        bool matched = false;
        for (std::size_t i = 0; i < words.size(); ++i) {
            if (planner.counts[i] == 0) {
                std::cout << "\n\n The element " << words[i] << " was not found.";
                continue;
            }
            matched = true;
            std::cout << "\n Removing: " << words[i] << "( " << shown << " )" << planner.lines[i]
                      << "\n Number of Elements: " << planner.counts[i] << std::endl;
        }
        if (!matched) {
            std::cout << "\n\n The file has not changed.";
            if (!file && !dryRun) {
                std::cout.flush();
                MappedFile source(descriptor);
                if (source.size() && !writeStandardOutput(source.data(), source.size()))
                    throw "An error occured while saving the DOM tree to the file.";
            }
            return;
        }
        if (!planner.refusal.empty()) {
            printFailure(planner.refusal);
            refused = true;
            return;
        }
        if (dryRun) {
            std::cout << "\n\n Dry run (-n): nothing was written, the file was not changed.";
            return;
        }
        MappedFile source(descriptor);
        if (!source.data()) throw "An error occured while saving the DOM tree to the file.";
        SourceCutter::Units units = SourceCutter::Units::Bytes;
        if (planner.sixteenBit && source.size() >= 2)
            units = (source.data()[0] == 0xFE || source.data()[0] == 0)
                        ? SourceCutter::Units::Utf16BE
                        : SourceCutter::Units::Utf16LE;
        bool writeFailed = false;
        const auto release = [&](std::size_t before) { source.release(before); };
        SourceCutter::Result result;
        if (file) {
            if (!file->beginReplacement()) throw "An error occured while saving the DOM tree to the file.";
            result = SourceCutter::cut(
                source.data(), source.size(), units, planner.plan,
                [&](const unsigned char* bytes, std::size_t count) {
                    writeFailed = file->write(bytes, count) < 0;
                    return !writeFailed;
                },
                release);
            if (result != SourceCutter::Result::Cut) file->abandon();
        } else {
            // What goes to standard output cannot be taken back: the cut is tried first.
            result = SourceCutter::cut(
                source.data(), source.size(), units, planner.plan,
                [](const unsigned char*, std::size_t) { return true; }, [](std::size_t) {});
            std::cout.flush();
            if (result == SourceCutter::Result::Cut)
                result = SourceCutter::cut(
                    source.data(), source.size(), units, planner.plan,
                    [&](const unsigned char* bytes, std::size_t count) {
                        writeFailed = !writeStandardOutput(bytes, count);
                        return !writeFailed;
                    },
                    release);
        }
        if (writeFailed) throw "An error occured while saving the DOM tree to the file.";
        if (result == SourceCutter::Result::JoinsLineEnd) {
            printFailure("cannot remove an element that stands between a CR and an LF in a text: "
                         "they would read as one line end, and the text would change (remove it "
                         "without -k); nothing was written");
            refused = true;
            return;
        }
        if (result != SourceCutter::Result::Cut) {
            printFailure("found the file's bytes to differ from what was parsed (did the file change "
                         "while it was read?); nothing was written");
            refused = true;
            return;
        }
        if (file && !file->commit()) throw "An error occured while saving the DOM tree to the file.";
    });
    if (!terminateXerces()) std::cout << "\n\n Warning: Error whild terminating Xerces.";
    return completed && !refused;
}

bool ByteKeepingRemover::removeFromFile(const I18NString& path,
                                        const std::vector<const char*>& selectors,
                                        LockedFile& file) {
    return remove(path, selectors, file.descriptor(), &file);
}

bool ByteKeepingRemover::removeFromStandardInput(const std::vector<const char*>& selectors) {
    // Read twice, so kept in a file of its own first (a pipe reads once).
    std::FILE* copy = std::tmpfile();
    int descriptor = -1;
    if (copy) {
        descriptor = fileno(copy);
        char buffer[1 << 16];
        for (;;) {
            const ssize_t got = read(standardInputDescriptor(), buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got == 0) break;
            if (got < 0 || std::fwrite(buffer, 1, static_cast<std::size_t>(got), copy) !=
                               static_cast<std::size_t>(got)) {
                descriptor = -1;
                break;
            }
        }
        if (descriptor >= 0 && (std::fflush(copy) != 0 || lseek(descriptor, 0, SEEK_SET) != 0))
            descriptor = -1;
    }
    const bool result =
        remove(I18NString("-", nullptr, -1, nullptr, nullptr), selectors, descriptor, nullptr);
    if (copy) std::fclose(copy);
    return result;
}

#include "FuzzSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <set>
#include <sstream>
#include <streambuf>
#include <thread>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>

#include "compare/CaseFolding.h"
#include "compare/EventComparison.h"
#include "compare/DifferenceList.h"
#include "compare/DifferenceReport.h"
#include "compare/Quennel.h"
#include "input/DocumentLoader.h"
#include "input/XercesLibrary.h"
#include "output/OutputDomNode.h"
#include "support/I18NString.h"
#include "support/Utf8.h"

using namespace xercesc;

namespace {

class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

std::string& directory() {
    static std::string path;
    return path;
}

void removeDirectory() {
    const std::string command = "rm -rf '" + directory() + "'";
    if (std::system(command.c_str()) != 0) {
    }
}

bool writeAll(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = true;
    while (size > 0 && ok) {
        const ssize_t put = ::write(fd, data, size);
        ok = put > 0;
        if (ok) {
            data += put;
            size -= static_cast<std::size_t>(put);
        }
    }
    return ::close(fd) == 0 && ok;
}

// Visits every node below doc in document order, entity-reference expansions included, with
// the number of entity references around it.
template <typename Visit>
void walk(DOMNode* doc, Visit visit) {
    std::vector<DOMNode*> open;  // ancestors of node, for the entity-reference count
    int entities = 0;
    DOMNode* node = doc->getFirstChild();
    while (node) {
        visit(node, entities);
        if (DOMNode* child = node->getFirstChild()) {
            open.push_back(node);
            if (node->getNodeType() == DOMNode::ENTITY_REFERENCE_NODE) ++entities;
            node = child;
            continue;
        }
        while (node && !node->getNextSibling()) {
            if (open.empty()) return;
            node = open.back();
            open.pop_back();
            if (node->getNodeType() == DOMNode::ENTITY_REFERENCE_NODE) --entities;
        }
        node = node->getNextSibling();
    }
}

}  // namespace

void fuzzInitialize() {
    static NullBuffer null;
    std::cout.rdbuf(&null);
    if (!initializeXerces()) std::abort();
    const char* base = std::getenv("QUENNEL_FUZZ_DIR");
    std::string templ = std::string(base && *base ? base : "/dev/shm") + "/quennel-fuzz-XXXXXX";
    if (!::mkdtemp(templ.data())) std::abort();
    directory() = templ;
    std::atexit(removeDirectory);
    // Empty DTDs an input can name, so that a DOCTYPE's own ids and quotes load too.
    for (const char* name : {"empty.dtd", "q\"uote.dtd", "a'pos.dtd"}) {
        if (!writeAll(directory() + "/" + name, nullptr, 0)) std::abort();
    }
}

std::string fuzzPath(const std::string& name) { return directory() + "/" + name; }

Loaded loadBytes(const std::string& name, const std::uint8_t* data, std::size_t size) {
    Loaded loaded;
    const std::string path = directory() + "/" + name;
    if (!writeAll(path, data, size)) std::abort();
    const I18NString fileName(path.c_str(), nullptr, -1, nullptr, nullptr);
    XercesDOMParser* parser = nullptr;
    try {
        loaded.doc = loadDocument(&fileName, &parser, false);
    } catch (const char*) {
        loaded.doc = nullptr;
    }
    loaded.parser.reset(parser);
    return loaded;
}

LoadedEvents loadEventBytes(const std::string& name, const std::uint8_t* data, std::size_t size,
                            bool ignoreComments, const Selectors* ignored) {
    LoadedEvents loaded;
    const std::string path = directory() + "/" + name;
    if (!writeAll(path, data, size)) std::abort();
    const I18NString fileName(path.c_str(), nullptr, -1, nullptr, nullptr);
    QelEventParser* parser = new QelEventParser(ignoreComments, ignored);
    try {
        loadEvents(&fileName, &parser, false, ignoreComments, std::cout);
        loaded.log = &parser->events();
    } catch (const char*) {
        loaded.log = nullptr;
    }
    loaded.parser.reset(parser);
    return loaded;
}

bool sameStreamed(const std::uint8_t* a, std::size_t sizeA, const std::uint8_t* b,
                  std::size_t sizeB, bool ignoreComments, const Selectors* ignored,
                  std::vector<std::string>* listed, std::size_t mostPerChild, bool firstOnly) {
    const std::string pathA = directory() + "/streamed-first.xml";
    const std::string pathB = directory() + "/streamed-second.xml";
    if (!writeAll(pathA, a, sizeA) || !writeAll(pathB, b, sizeB)) std::abort();
    const I18NString nameA(pathA.c_str(), nullptr, -1, nullptr, nullptr);
    const I18NString nameB(pathB.c_str(), nullptr, -1, nullptr, nullptr);
    EventStream streamA(1), streamB(1);
    bool loadedA = false, loadedB = false;
    const auto load = [&](const I18NString* name, EventStream* stream, bool* loaded) {
        QelEventParser* parser = new QelEventParser(ignoreComments, ignored);
        std::ostringstream diagnostics;
        try {
            streamEvents(name, &parser, false, ignoreComments, diagnostics, *stream, 1);
            *loaded = true;
        } catch (const char*) {
        }
        delete parser;
    };
    std::thread first(load, &nameA, &streamA, &loadedA);
    std::thread second(load, &nameB, &streamB, &loadedB);
    static CaseFolding folding;
    bool same;
    if (listed) {
        listed->clear();
        same = listWhileReading(streamA, streamB, folding, [&](const StreamedRest& s) {
            const std::vector<std::string> more =
                listDifferences(s.original, s.compare, false, firstOnly ? 1 : SIZE_MAX,
                                &s.counts[0], &s.counts[1]);
            listed->insert(listed->end(), more.begin(), more.end());
            return !firstOnly || listed->empty();
        }, firstOnly, mostPerChild);
    } else {
        same = eventStreamsEqual(streamA, streamB, folding);
    }
    first.join();
    second.join();
    return loadedA && loadedB && same;
}

bool sameEvents(const EventLog& a, const EventLog& b, bool ignoreOrder) {
    static CaseFolding folding;  // made after the library started, like the diff's
    return ignoreOrder ? eventLogsEqualUnordered(a, b, folding) : eventLogsEqual(a, b, folding);
}

Loaded loadBytes(const std::string& name, const std::string& bytes) {
    return loadBytes(name, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string writeDocument(DOMNode* doc, bool withDoctype) {
    MemBufFormatTarget target;
    {
        OutputDomNode writer;
        if (withDoctype) {
            writer.output(doc, &target);
        } else {
            for (DOMNode* node = doc->getFirstChild(); node; node = node->getNextSibling())
                if (node->getNodeType() != DOMNode::DOCUMENT_TYPE_NODE)
                    writer.output(node, &target);
        }
    }
    return std::string(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
}

bool sameDocuments(DOMNode* a, DOMNode* b, bool ignoreComments, bool ignoreOrder) {
    Quennel quennel;
    quennel.setIgnoreComments(ignoreComments);
    quennel.setIgnoreOrder(ignoreOrder);
    quennel.stripIgnorable(a);
    quennel.stripIgnorable(b);
    quennel.setRoots(a, b);
    return quennel.compareDocuments() == 0;
}

namespace {

std::string sideOf(const DifferenceList& list, int side, const EventLog& log,
                   const DifferenceSide& at, const std::vector<ChildCounts>* counts) {
    if (at.kind == DifferenceSide::Nothing)
        return "nothing in " + (at.event == DifferenceSide::kNone
                                    ? std::string("/")
                                    : pathOf(list, side, log, at.event, counts));
    return pathOf(list, side, log, at.event, counts) + " " +
           std::to_string(log.events()[at.event].kind);
}

}  // namespace

std::vector<std::string> listDifferences(const EventLog& a, const EventLog& b, bool ignoreOrder,
                                         std::size_t most, const std::vector<ChildCounts>* countsA,
                                         const std::vector<ChildCounts>* countsB) {
    CaseFolding folding;
    DifferenceList list(folding, ignoreOrder);
    std::vector<std::string> lines;
    for (const Difference& d : list.find(a, b, most))
        lines.push_back(sideOf(list, 0, a, d.original, countsA) + "\t" +
                        sideOf(list, 1, b, d.compare, countsB));
    return lines;
}

std::string swapSides(const std::string& line) {
    const std::size_t tab = line.find('\t');
    return line.substr(tab + 1) + "\t" + line.substr(0, tab);
}

std::vector<std::string> elementNames(DOMNode* doc, bool insideEntities) {
    std::vector<std::string> names;
    std::set<std::u16string> seen;
    walk(doc, [&](DOMNode* node, int entities) {
        if (node->getNodeType() != DOMNode::ELEMENT_NODE) return;
        if (insideEntities && entities == 0) return;
        if (seen.insert(node->getNodeName()).second)
            names.push_back(encodeUtf8(node->getNodeName()));
    });
    return names;
}

std::size_t countElements(DOMNode* doc, const std::string& name) {
    const std::u16string wide = decodeUtf8(name);
    std::size_t count = 0;
    walk(doc, [&](DOMNode* node, int) {
        if (node->getNodeType() == DOMNode::ELEMENT_NODE &&
            (name == "*" || wide == node->getNodeName()))
            ++count;
    });
    return count;
}

bool isXml11(DOMNode* doc) {
    const XMLCh* version = static_cast<DOMDocument*>(doc)->getXmlVersion();
    return version && std::u16string(version) == u"1.1";
}

void propertyFailed(const char* what, const std::uint8_t* data, std::size_t size) {
    std::fprintf(stderr, "\n*** property failed: %s (input of %zu bytes)\n", what, size);
    if (size <= 512)
        std::fprintf(stderr, "%.*s\n", static_cast<int>(size), reinterpret_cast<const char*>(data));
    std::abort();
}

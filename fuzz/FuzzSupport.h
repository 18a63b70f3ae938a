#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "compare/EventComparison.h"
#include "input/QelEventParser.h"

// What every target needs: the library started once, std::cout silenced, documents loaded the
// way the program loads them (loadDocument on a file), and a few tree walks.

// A document and the parser that owns it; doc is null when the load failed.
struct Loaded {
    std::unique_ptr<xercesc::XercesDOMParser> parser;
    xercesc::DOMNode* doc = nullptr;
};

// The same file read as an event log, as a diff without -i and -v reads it; log is null when
// the load failed.
struct LoadedEvents {
    std::unique_ptr<QelEventParser> parser;
    const EventLog* log = nullptr;
};

// Starts the library and silences std::cout; call from LLVMFuzzerInitialize.
void fuzzInitialize();

// Writes bytes to name in a directory private to this process and loads that file. Relative
// DTD and entity names resolve in that directory, which holds nothing else the input could name
// but three empty DTDs: empty.dtd, q"uote.dtd and a'pos.dtd.
Loaded loadBytes(const std::string& name, const std::uint8_t* data, std::size_t size);
Loaded loadBytes(const std::string& name, const std::string& bytes);

// Where loadBytes writes name.
std::string fuzzPath(const std::string& name);

// With ignored, what those selectors select is left out as the events are read (-i).
LoadedEvents loadEventBytes(const std::string& name, const std::uint8_t* data, std::size_t size,
                            bool ignoreComments, const Selectors* ignored = nullptr);

// The tree as the remove command writes it; without withDoctype, each top-level node but the
// DOCTYPE, one after another.
std::string writeDocument(xercesc::DOMNode* doc, bool withDoctype = true);

// Whether Quennel finds the two documents the same under -c / -o. Strips both trees as the
// diff does; stripping for -c after stripping without it gives the same trees as stripping
// once with it, so call with ignoreComments false before true.
bool sameDocuments(xercesc::DOMNode* a, xercesc::DOMNode* b, bool ignoreComments,
                   bool ignoreOrder);

// The differences that -l lists for two logs, each as one line of its two sides, side by side:
// a side is the path of the node it holds and its kind, or "nothing in " and the path of the
// element where it would be. Counts: see listDifferences in compare/.
std::vector<std::string> listDifferences(const EventLog& a, const EventLog& b, bool ignoreOrder,
                                         std::size_t most = SIZE_MAX,
                                         const std::vector<ChildCounts>* countsA = nullptr,
                                         const std::vector<ChildCounts>* countsB = nullptr);
// The same line with its two sides swapped.
std::string swapSides(const std::string& line);

// Whether the event comparison finds two logs the same, ignoring order or not (comments were
// dropped or kept when the logs were read).
bool sameEvents(const EventLog& a, const EventLog& b, bool ignoreOrder);

// Whether the diff without options (or with -c) finds the two byte strings the same when it
// compares them while both are read, handed on one event at a time. False when either fails
// to load.
// With listed, the differences that -l lists while it reads, as listDifferences gives them,
// comparing inside any child larger than mostPerChild bytes of events; with firstOnly, only
// the first (as -v lists it).
bool sameStreamed(const std::uint8_t* a, std::size_t sizeA, const std::uint8_t* b,
                  std::size_t sizeB, bool ignoreComments, const Selectors* ignored = nullptr,
                  std::vector<std::string>* listed = nullptr,
                  std::size_t mostPerChild = kMostPerChild, bool firstOnly = false);

// Element names in the document as UTF-8, each once, in document order. With insideEntities,
// only names of elements inside entity references (read-only nodes).
std::vector<std::string> elementNames(xercesc::DOMNode* doc, bool insideEntities);
// Elements named name (UTF-8; "*" counts every element), entity references included.
std::size_t countElements(xercesc::DOMNode* doc, const std::string& name);

// Whether the document declares XML 1.1.
bool isXml11(xercesc::DOMNode* doc);

// Reports a broken property with a note on standard error and aborts, which the fuzzer records
// as a crash together with the input.
[[noreturn]] void propertyFailed(const char* what, const std::uint8_t* data, std::size_t size);

#define FUZZ_CHECK(condition, what) \
    do {                            \
        if (!(condition)) propertyFailed(what, data, size); \
    } while (0)

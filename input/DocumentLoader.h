#pragma once

#include <cstddef>
#include <ostream>

#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "support/I18NString.h"

class EventStream;
class QelElementParser;
class QelEventParser;

// Parses one file into a DOM document and returns its document node (null when the parser holds
// no document). An empty slot gets a new parser, which the caller owns and deletes; a filled one
// is configured again and reused. Parse diagnostics are printed while the file is parsed; every
// failure is thrown as a narrow string (const char*).
xercesc::DOMNode* loadDocument(const I18NString* fileName, xercesc::XercesDOMParser** parser,
                               bool doSchema);
// The same, with the diagnostics written to another stream (for a load on another thread).
xercesc::DOMNode* loadDocument(const I18NString* fileName, xercesc::XercesDOMParser** parser,
                               bool doSchema, std::ostream& diagnostics);

// Parses one file into the event log of an event parser (made in an empty slot, owned by the
// caller): the same parse, diagnostics and failures as loadDocument, without a tree.
void loadEvents(const I18NString* fileName, QelEventParser** parser, bool doSchema,
                bool ignoreComments, std::ostream& diagnostics);

// The same load, handing the events to stream as they are read instead of keeping them; the
// stream is closed on every path, so that its reader always comes to an end.
void streamEvents(const I18NString* fileName, QelEventParser** parser, bool doSchema,
                  bool ignoreComments, std::ostream& diagnostics, EventStream& stream,
                  std::size_t chunkEvents = 16384);

// Parses one file (read through descriptor, or opened by name when it is -1) with an element
// parser, which hands the elements to its listener: the same parse, diagnostics and failures as
// loadDocument, without keeping anything.
void scanElements(const I18NString* fileName, int descriptor, QelElementParser* parser);

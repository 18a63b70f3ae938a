#pragma once

#include <xercesc/dom/DOMNode.hpp>

// The library builds an entity reference's expansion read-only: removing a node from it throws.
// A diff changes its trees without ever saving them, so it may lift that, for the reference and
// everything in it (nested references, attributes).
void makeExpansionWritable(xercesc::DOMNode* reference);

// The outermost entity reference that node stands in, or null.
xercesc::DOMNode* enclosingReference(xercesc::DOMNode* node);

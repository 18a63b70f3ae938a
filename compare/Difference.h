#pragma once

#include <xercesc/dom/DOMNode.hpp>

// What one side of a difference holds at the place where the trees part.
struct DifferenceSide {
    enum Kind {
        Node,     // node: the node this side holds there
        Nothing,  // node: the element where the missing child or attribute would be (or null)
    };
    Kind kind;
    const xercesc::DOMNode* node;
};

// One difference between two stripped documents.
struct Difference {
    const xercesc::DOMNode* located;  // the node the path names: the first file's when it has one
    DifferenceSide original;
    DifferenceSide compare;
};

#include "compare/BackgroundLoad.h"

#include <iostream>

#include "input/DocumentLoader.h"

BackgroundLoad::BackgroundLoad(const I18NString* path, xercesc::XercesDOMParser** slot,
                               bool doSchema)
    : path(path), slot(slot), doSchema(doSchema) {
    try {
        thread = std::thread(&BackgroundLoad::run, this);
        started = true;
    } catch (const std::system_error&) {
        // No thread to be had: finish() loads it then.
    }
}

BackgroundLoad::~BackgroundLoad() {
    if (thread.joinable()) thread.join();
}

void BackgroundLoad::run() {
    try {
        root = loadDocument(path, slot, doSchema, diagnostics);
    } catch (...) {
        failure = std::current_exception();
    }
}

xercesc::DOMNode* BackgroundLoad::finish() {
    if (!started) return loadDocument(path, slot, doSchema);
    thread.join();
    std::cout << diagnostics.str();
    if (failure) std::rethrow_exception(failure);
    return root;
}

#pragma once

#include <exception>
#include <sstream>
#include <thread>

#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "support/I18NString.h"

// Loads one document on a thread of its own while the caller loads another. Its diagnostics
// wait in a buffer, so that printed after the caller's own load they read exactly as if the
// two loads had run one after the other. The object joins the thread when it goes away.
class BackgroundLoad {
public:
    BackgroundLoad(const I18NString* path, xercesc::XercesDOMParser** slot, bool doSchema);
    ~BackgroundLoad();
    BackgroundLoad(const BackgroundLoad&) = delete;
    BackgroundLoad& operator=(const BackgroundLoad&) = delete;

    // Waits for the load, prints its diagnostics on standard output, and returns its document
    // or throws what the load threw.
    xercesc::DOMNode* finish();

private:
    void run();

    const I18NString* path;
    xercesc::XercesDOMParser** slot;
    bool doSchema;
    bool started = false;
    std::ostringstream diagnostics;
    std::exception_ptr failure;
    xercesc::DOMNode* root = nullptr;
    std::thread thread;
};

#pragma once

#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>

// Prints every parse warning, error and fatal error on standard output, and remembers whether
// anything worse than a warning was seen.
class IDOMTreeErrorReporter : public xercesc::ErrorHandler {
public:
    ~IDOMTreeErrorReporter() override = default;
    void warning(const xercesc::SAXParseException& e) override;
    void error(const xercesc::SAXParseException& e) override;
    void fatalError(const xercesc::SAXParseException& e) override;
    void resetErrors() override {}

    bool errorsSeen = false;

private:
    void printDiagnostic(const xercesc::SAXParseException& e, const char* prefix);
};

#pragma once

#include <iostream>

#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>

// Prints every parse warning, error and fatal error (on standard output unless told otherwise),
// and remembers whether anything worse than a warning was seen.
class IDOMTreeErrorReporter : public xercesc::ErrorHandler {
public:
    explicit IDOMTreeErrorReporter(std::ostream& out = std::cout) : out(out) {}
    ~IDOMTreeErrorReporter() override = default;
    void warning(const xercesc::SAXParseException& e) override;
    void error(const xercesc::SAXParseException& e) override;
    void fatalError(const xercesc::SAXParseException& e) override;
    void resetErrors() override {}

    bool errorsSeen = false;

private:
    void printDiagnostic(const xercesc::SAXParseException& e, const char* prefix);

    std::ostream& out;
};

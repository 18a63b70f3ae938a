#include "input/IDOMTreeErrorReporter.h"

#include "support/Utf8.h"

void IDOMTreeErrorReporter::warning(const xercesc::SAXParseException& e) {
    printDiagnostic(e, "\n Warning at file \"");
}

void IDOMTreeErrorReporter::error(const xercesc::SAXParseException& e) {
    errorsSeen = true;
    printDiagnostic(e, "\n Error at file \"");
}

void IDOMTreeErrorReporter::fatalError(const xercesc::SAXParseException& e) {
    errorsSeen = true;
    printDiagnostic(e, "\nFatal Error at file \"");
}

void IDOMTreeErrorReporter::printDiagnostic(const xercesc::SAXParseException& e,
                                            const char* prefix) {
    // Names and messages go out as UTF-8 whatever the locale.
    out << prefix;
    if (e.getSystemId()) out << encodeUtf8(e.getSystemId());
    out << "\", line " << static_cast<long long>(e.getLineNumber()) << ", column "
              << static_cast<long long>(e.getColumnNumber()) << "\n   Message: ";
    if (e.getMessage()) out << encodeUtf8(e.getMessage());
}

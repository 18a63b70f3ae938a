#include "input/EntityExpansionLimit.h"

#include <string>

#include <xercesc/framework/XMLErrorCodes.hpp>

#include "support/Utf8.h"

void EntityExpansionLimit::count(XMLSize_t length, xercesc::XMLScanner& scanner) {
    if (depth <= 0) return;
    expanded += length;
    if (expanded <= kLimit) return;
    const std::u16string message =
        decodeUtf8("entity references in the document expand to more than '" +
                   std::to_string(kLimit) +
                   "' characters; this is the limit imposed by the application");
    scanner.emitError(xercesc::XMLErrs::XMLException_Fatal, message.c_str());
}

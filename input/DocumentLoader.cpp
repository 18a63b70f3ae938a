#include "input/DocumentLoader.h"

#include <iostream>
#include <memory>

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/XMLException.hpp>

#include "input/BoundedMemoryManager.h"
#include "input/IDOMTreeErrorReporter.h"
#include "input/LocalEntityResolver.h"
#include "input/QelDOMParser.h"
#include "input/QelElementParser.h"
#include "input/QelEventParser.h"
#include "input/QelInputSource.h"
#include "support/Platform.h"
#include "support/Utf8.h"

using namespace xercesc;

DOMNode* loadDocument(const I18NString* fileName, XercesDOMParser** parser, bool doSchema) {
    return loadDocument(fileName, parser, doSchema, std::cout);
}

namespace {

// The four settings in their order, a fresh reporter for the parse, and every parse problem
// turned into a thrown message. Shared by the tree and the event parser, so that both read a
// file exactly alike.
template <typename Parser>
void parseReporting(Parser* p, const I18NString* fileName, int descriptor, bool doSchema,
                    std::ostream& diagnostics) {
    if (descriptor < 0 && namesStandardStream(fileName->text())) descriptor = standardInputDescriptor();
    QelInputSource source(fileName, descriptor);
    p->setDocumentPath(*fileName);

    p->setValidationScheme(Parser::Val_Auto);
    p->setDoNamespaces(true);
    p->setDoSchema(doSchema);
    p->setValidationSchemaFullChecking(doSchema);

    auto reporter = std::make_unique<IDOMTreeErrorReporter>(diagnostics);
    p->setErrorHandler(reporter.get());
    try {
        p->useCachedGrammarInParse(false);
        p->parse(source);
        p->resetCachedGrammarPool();
    } catch (const NetworkRefused& refused) {
        const std::u16string message = u"network access is off: " + refused.address +
                                       u" is not fetched (a local copy can be named in an XML catalog)";
        reporter->fatalError(SAXParseException(message.c_str(), nullptr,
                                               refused.systemId.c_str(), refused.line,
                                               refused.column));
        p->setErrorHandler(nullptr);
        throw "The file is not valid. Please insure that the file is \n valid according to its schema.";
    } catch (const OutOfMemoryException&) {
        // The library's memory ran into the bound that the input sets, or the machine's.
        const std::u16string message =
            BoundedMemoryManager::instance().exceeded()
                ? u"the document needs more memory than its size allows (64 MB and 32 bytes for "
                  u"each byte read): entities expand too far"
                : u"out of memory";
        reporter->fatalError(SAXParseException(message.c_str(), nullptr, u"", 0, 0));
        p->setErrorHandler(nullptr);
        throw "The file is not valid. Please insure that the file is \n valid according to its schema.";
    } catch (const XMLException& e) {
        p->setErrorHandler(nullptr);
        throw retainText(encodeUtf8(e.getMessage()));
    } catch (const DOMException& e) {
        p->setErrorHandler(nullptr);
        throw retainText(encodeUtf8(e.msg));
    } catch (...) {
        p->setErrorHandler(nullptr);
        throw "Error occured while parsing the file.";
    }
    p->setErrorHandler(nullptr);
    if (reporter->errorsSeen)
        throw "The file is not valid. Please insure that the file is \n valid according to its schema.";
}

}  // namespace

DOMNode* loadDocument(const I18NString* fileName, XercesDOMParser** parser, bool doSchema,
                      std::ostream& diagnostics) {
    if (!*parser) *parser = new QelDOMParser();
    // Slots only ever receive parsers made here.
    parseReporting(static_cast<QelDOMParser*>(*parser), fileName, -1, doSchema, diagnostics);
    return (*parser)->getDocument();
}

void loadEvents(const I18NString* fileName, QelEventParser** parser, bool doSchema,
                bool ignoreComments, std::ostream& diagnostics) {
    if (!*parser) *parser = new QelEventParser(ignoreComments);
    parseReporting(*parser, fileName, -1, doSchema, diagnostics);
}

void streamEvents(const I18NString* fileName, QelEventParser** parser, bool doSchema,
                  bool ignoreComments, std::ostream& diagnostics, EventStream& stream,
                  std::size_t chunkEvents) {
    struct Closer {
        EventStream& stream;
        ~Closer() { stream.close(); }
    } closer{stream};
    if (!*parser) *parser = new QelEventParser(ignoreComments);
    (*parser)->streamTo(&stream, chunkEvents);
    parseReporting(*parser, fileName, -1, doSchema, diagnostics);
}

void scanElements(const I18NString* fileName, int descriptor, QelElementParser* parser) {
    parseReporting(parser, fileName, descriptor, false, std::cout);
}

#include "input/DocumentLoader.h"

#include <iostream>
#include <memory>

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/util/XMLException.hpp>

#include "input/IDOMTreeErrorReporter.h"
#include "input/QelDOMParser.h"
#include "input/QelInputSource.h"
#include "support/Platform.h"
#include "support/Utf8.h"

using namespace xercesc;

DOMNode* loadDocument(const I18NString* fileName, XercesDOMParser** parser, bool doSchema) {
    return loadDocument(fileName, parser, doSchema, std::cout);
}

DOMNode* loadDocument(const I18NString* fileName, XercesDOMParser** parser, bool doSchema,
                      std::ostream& diagnostics) {
    QelInputSource source(fileName);
    if (!*parser) *parser = new QelDOMParser();
    XercesDOMParser* p = *parser;
    if (auto* own = dynamic_cast<QelDOMParser*>(p)) own->setDocumentPath(*fileName);

    p->setValidationScheme(XercesDOMParser::Val_Auto);
    p->setDoNamespaces(true);
    p->setDoSchema(doSchema);
    p->setValidationSchemaFullChecking(doSchema);

    auto reporter = std::make_unique<IDOMTreeErrorReporter>(diagnostics);
    p->setErrorHandler(reporter.get());
    try {
        p->useCachedGrammarInParse(false);
        p->parse(source);
        p->resetCachedGrammarPool();
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
    return p->getDocument();
}

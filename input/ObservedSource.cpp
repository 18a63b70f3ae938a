#include "input/ObservedSource.h"

#include <memory>

#include <xercesc/util/BinInputStream.hpp>
#include <xercesc/util/PlatformUtils.hpp>

using namespace xercesc;

namespace {

class ObservedStream : public BinInputStream {
public:
    ObservedStream(BinInputStream* document, const ObservedSource::Observer& observer)
        : document(document), observer(observer) {}

    XMLFilePos curPos() const override { return document->curPos(); }
    XMLSize_t readBytes(XMLByte* const toFill, const XMLSize_t maxToRead) override {
        const XMLSize_t got = document->readBytes(toFill, maxToRead);
        observer(toFill, got);
        return got;
    }
    const XMLCh* getContentType() const override { return document->getContentType(); }
    const XMLCh* getEncoding() const override { return document->getEncoding(); }

private:
    std::unique_ptr<BinInputStream> document;
    const ObservedSource::Observer& observer;
};

}  // namespace

ObservedSource::ObservedSource(const InputSource& document, Observer observer)
    : InputSource(XMLPlatformUtils::fgMemoryManager), document(document),
      observer(std::move(observer)) {}

BinInputStream* ObservedSource::makeStream() const {
    BinInputStream* stream = document.makeStream();
    return stream ? new ObservedStream(stream, observer) : nullptr;
}

#pragma once

#include <functional>

#include <xercesc/sax/InputSource.hpp>

// Reads a document through another source and shows every chunk of bytes that the scanner
// reads to an observer first. The document source and the observer must outlive the parse.
class ObservedSource : public xercesc::InputSource {
public:
    using Observer = std::function<void(const XMLByte*, XMLSize_t)>;

    ObservedSource(const xercesc::InputSource& document, Observer observer);

    // The scanner owns and deletes the stream.
    xercesc::BinInputStream* makeStream() const override;
    const XMLCh* getEncoding() const override { return document.getEncoding(); }
    const XMLCh* getPublicId() const override { return document.getPublicId(); }
    const XMLCh* getSystemId() const override { return document.getSystemId(); }
    bool getIssueFatalErrorIfNotFound() const override {
        return document.getIssueFatalErrorIfNotFound();
    }

private:
    const xercesc::InputSource& document;
    Observer observer;
};

#include "input/QelInputStream.h"

#include <memory>

#include "input/BoundedMemoryManager.h"
#include "support/I18NConverter.h"

QelInputStream::QelInputStream(const I18NString& path) {
    isOpen = false;
    I18NConverter converter(I18NGetPlatformDefaultEncoding());
    char* bytes = nullptr;
    int length = 0;
    converter.fromUnicode(&bytes, &length, path, nullptr, nullptr);
    std::unique_ptr<char[]> owned(bytes);
    file = new QelFmFile();
    isOpen = file->open(bytes, QelFmFile::ModeRead, QelFmFile::FlagsExisting) != 0;
    if (!isOpen) {
        delete file;
        file = nullptr;
        throw "Failed to open the file for reading";
    }
}

QelInputStream::QelInputStream(int descriptor) {
    file = new QelFmFile();
    isOpen = file->open(descriptor) != 0;
    if (!isOpen) {
        delete file;
        file = nullptr;
        throw "Failed to open the file for reading";
    }
}

QelInputStream::~QelInputStream() {
    if (isOpen) file->close();
    delete file;
}

XMLFilePos QelInputStream::curPos() const { return consumed; }

XMLSize_t QelInputStream::readBytes(XMLByte* const toFill, const XMLSize_t maxToRead) {
    if (!isOpen) return 0;
    const XMLSize_t got = file->read(toFill, maxToRead);
    consumed += got;
    BoundedMemoryManager::countInput(got);
    return got;
}

#include "output/FileTarget.h"

#include <memory>

#include "output/OutputDomNode.h"
#include "support/I18NConverter.h"
#include "support/Platform.h"

using namespace xercesc;

FileTarget::FileTarget(const I18NString& path) {
    const I18NConverter converter(I18NGetPlatformDefaultEncoding());
    char* bytes = nullptr;
    int length = 0;
    converter.fromUnicode(&bytes, &length, path, nullptr, nullptr);
    const std::unique_ptr<char[]> narrow(bytes);
    isOpen = file.open(narrow.get(), QelFmFile::ModeWrite, QelFmFile::FlagsNone);
    if (!isOpen) throw "Failed to open the file for saving";
}

FileTarget::FileTarget(LockedFile& replaced) {
    isOpen = file.open(replaced);
    if (!isOpen) throw "Failed to open the file for saving";
}

// Not closed here: closing puts the new content in place, which only commit() may do. The file's
// own destructor throws the unfinished content away.
FileTarget::~FileTarget() = default;

void FileTarget::writeChars(const XMLByte* const toWrite, const XMLSize_t count, XMLFormatter*) {
    if (isOpen && file.write(toWrite, count) < 0) writeFailed = true;
}

void FileTarget::commit() {
    if (!isOpen) throw "Failed to open the file for saving";
    isOpen = 0;
    // After a failed write the file's destructor throws the new content away.
    if (writeFailed || file.close() == 0) throw "Failed to write the file";
}

void saveDocument(DOMNode* root, const I18NString& path) {
    try {
        FileTarget target(path);
        {
            OutputDomNode writer;
            writer.output(root, &target);
        }
        target.commit();
    } catch (...) {
        throw "An error occured while saving the DOM tree to the file.";
    }
}

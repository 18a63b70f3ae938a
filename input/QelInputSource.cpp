#include "input/QelInputSource.h"

#include <xercesc/util/PlatformUtils.hpp>

#include "input/QelInputStream.h"

QelInputSource::QelInputSource(const I18NString* fileName, int descriptor)
    : xercesc::InputSource(xercesc::XMLPlatformUtils::fgMemoryManager),
      fileName(fileName),
      descriptor(descriptor) {}

xercesc::BinInputStream* QelInputSource::makeStream() const {
    if (descriptor >= 0) return new QelInputStream(descriptor);
    return new QelInputStream(*fileName);
}

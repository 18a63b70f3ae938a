#include "input/QelInputSource.h"

#include <xercesc/util/PlatformUtils.hpp>

#include "input/QelInputStream.h"

QelInputSource::QelInputSource(const I18NString* fileName)
    : xercesc::InputSource(xercesc::XMLPlatformUtils::fgMemoryManager), fileName(fileName) {}

xercesc::BinInputStream* QelInputSource::makeStream() const {
    return new QelInputStream(*fileName);
}

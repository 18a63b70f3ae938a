#include "input/XercesLibrary.h"

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "input/BoundedMemoryManager.h"

using namespace xercesc;

bool initializeXerces() {
    try {
        XMLPlatformUtils::Initialize(XMLUni::fgXercescDefaultLocale, nullptr, nullptr,
                                     &BoundedMemoryManager::instance());
        return true;
    } catch (...) {
        return false;
    }
}

bool terminateXerces() {
    try {
        XMLPlatformUtils::Terminate();
        return true;
    } catch (...) {
        return false;
    }
}

#pragma once

#include <iostream>

#include "support/QelException.h"

// Runs work under the three handlers that both commands share, tried in this order: the support
// layer's exception, a thrown narrow string, anything else. Each prints its block on standard
// output. True when work ended normally.
template <typename Work>
bool runGuarded(Work&& work) {
    static constexpr const char* kArguments =
        "\n Please insure the validity of arguments. If the problem"
        "\n persists, contact the Varno development team."
        "\n\n Changes will not be saved.";
    try {
        work();
        return true;
    } catch (const QelException& e) {
        std::cout << "\n\n *** EXCEPTION: " << e.getErrorText() << kArguments;
    } catch (const char* text) {
        std::cout << "\n\n *** EXCEPTION: " << text
                  << "\n Insure validity of file (formatted properly)."
                  << "\n You can use Internet Explorer to validate the file.";
    } catch (...) {
        std::cout << "\n\n *** UNKNOWN EXCEPTION: " << kArguments;
    }
    return false;
}

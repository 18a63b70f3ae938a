#include "compare/BackgroundLoad.h"

#include <iostream>
#include <system_error>

BackgroundLoad::BackgroundLoad(Load load) : load(std::move(load)) {
    try {
        thread = std::thread(&BackgroundLoad::run, this);
        started = true;
    } catch (const std::system_error&) {
        // No thread to be had: finish() loads it then.
    }
}

BackgroundLoad::~BackgroundLoad() {
    if (thread.joinable()) thread.join();
}

void BackgroundLoad::run() {
    try {
        load(diagnostics);
    } catch (...) {
        failure = std::current_exception();
    }
}

void BackgroundLoad::finish() {
    if (!started) {
        load(std::cout);
        return;
    }
    thread.join();
    std::cout << diagnostics.str();
    if (failure) std::rethrow_exception(failure);
}

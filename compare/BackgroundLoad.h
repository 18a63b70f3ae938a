#pragma once

#include <exception>
#include <functional>
#include <ostream>
#include <sstream>
#include <thread>

// Runs one load on a thread of its own while the caller loads another file. What the load
// prints waits in a buffer, so that printed after the caller's own load it reads exactly as if
// the two loads had run one after the other. The object joins the thread when it goes away.
class BackgroundLoad {
public:
    using Load = std::function<void(std::ostream& diagnostics)>;

    explicit BackgroundLoad(Load load);
    ~BackgroundLoad();
    BackgroundLoad(const BackgroundLoad&) = delete;
    BackgroundLoad& operator=(const BackgroundLoad&) = delete;

    // Waits for the load, prints its diagnostics on standard output, and throws what the load
    // threw.
    void finish();
    // Whether the load runs on a thread of its own (else finish() runs it).
    bool running() const { return started; }

private:
    void run();

    Load load;
    bool started = false;
    std::ostringstream diagnostics;
    std::exception_ptr failure;
    std::thread thread;
};

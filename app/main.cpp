#include <csignal>

#include "app/EntryPoint.h"
#include "support/ControlEscaper.h"
#include "support/Platform.h"

int main(int argc, char* argv[]) {
    // Past a file-size limit a write must fail with EFBIG, so the save is abandoned and the old
    // file kept, instead of the signal killing the program mid-save.
    std::signal(SIGXFSZ, SIG_IGN);
    boundAllocatorReserve();
    ControlEscaper::installOnStandardOutput();
    return runMain(argc, argv);
}

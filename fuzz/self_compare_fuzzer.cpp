// Every document that loads is the same as itself under each combination of -c and -o: as a
// tree (the diff with -i or -v), compared with a second load and with its own tree, and as an
// event log (the diff without them).
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzInitialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Loaded first = loadBytes("first.xml", data, size);
    if (!first.doc) return 0;
    const Loaded second = loadBytes("first.xml", data, size);
    FUZZ_CHECK(second.doc, "the same bytes loaded once and failed the second time");
    for (const bool comments : {false, true}) {
        const LoadedEvents events = loadEventBytes("first.xml", data, size, comments);
        FUZZ_CHECK(events.log, "a file that loads as a tree fails to load as events");
        const LoadedEvents again = loadEventBytes("first.xml", data, size, comments);
        FUZZ_CHECK(again.log, "the same bytes loaded once as events and failed the second time");
        for (const bool order : {false, true}) {
            FUZZ_CHECK(sameDocuments(first.doc, second.doc, comments, order),
                       "a tree differs from a second load of itself");
            FUZZ_CHECK(sameDocuments(first.doc, first.doc, comments, order),
                       "a tree differs from itself");
            FUZZ_CHECK(sameEvents(*events.log, *again.log, order),
                       "an event log differs from a second load of itself");
            FUZZ_CHECK(sameEvents(*events.log, *events.log, order),
                       "an event log differs from itself");
        }
    }
    return 0;
}

#pragma once

#include <cstddef>
#include <string>

// What a console program needs of its platform beyond standard C++.

// Waits for one key press without echo and without Enter, when standard input is a terminal;
// returns at once otherwise, so a script never hangs on it.
void waitForKey();

// A note for a debugger. Dropped unless a sink is installed (tests install one).
void debugOutput(const char* text);
using DebugOutputSink = void (*)(const char* text);
DebugOutputSink setDebugOutputSink(DebugOutputSink sink);

// Keeps a message alive until the process ends, for the narrow strings that failures throw.
const char* retainText(std::string text);

// "-" as a file name stands for standard input (or output, for a filter); ./- names a file.
bool namesStandardStream(const char* name);
bool namesStandardStream(const std::u16string& name);
int standardInputDescriptor();

// Writes all of the bytes to standard output, bypassing std::cout; false when a write failed.
bool writeStandardOutput(const void* bytes, std::size_t count);

// Large blocks each get a mapping of their own, returned when freed: the allocator's default
// lets a thread's heap grow to reserve far more address space than it uses, so that a run under
// an address-space limit (ulimit -v) failed now and then with memory to spare.
void boundAllocatorReserve();

#pragma once

// Prints the usage text, waits for a key when standard input is a terminal, and ends the process
// with exit code 1.
[[noreturn]] void printUsage();

// The usage text and the options added to it, without waiting for a key; for --help.
void printHelp();

// One line: this program's version and the library's.
void printVersion();

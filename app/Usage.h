#pragma once

// Prints the usage text, waits for a key when standard input is a terminal, and ends the process
// with exit code 1.
[[noreturn]] void printUsage();

#pragma once

// quennel -r file element...: removes the named elements from the file in place.
// True on success, whether or not the file changed.
bool runRemoveCommand(int argc, char* argv[]);

// quennel -r - element...: a filter from standard input to standard output. The caller sends
// the messages to standard error.
bool runRemoveFilter(int argc, char* argv[]);

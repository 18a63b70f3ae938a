#pragma once

// quennel -r [-k] [-n] file selector...: removes what the selectors match from the file in
// place. True on success, whether or not the file changed.
bool runRemoveCommand(int argc, char* argv[]);

// quennel -r [-k] - selector...: a filter from standard input to standard output. The caller
// sends the messages to standard error.
bool runRemoveFilter(int argc, char* argv[]);

// Where the file stands on a remove command line: after -r and its option words (-k, -n, in any
// ASCII case and order), each taken as an option only when a word follows it.
int removeFileArgument(int argc, char* argv[]);

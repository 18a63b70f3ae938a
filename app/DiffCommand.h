#pragma once

// quennel [-v] [-c] [-o] file1 file2 [-i element...]: 0 same, 1 different, 2 failure. A malformed
// command line shows the usage text and ends the process.
int runDiffCommand(int argc, char* argv[]);

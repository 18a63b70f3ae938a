#pragma once

// quennel [-v | -l | -j] [-c] [-o] file1 file2 [-i element...]: 0 same, 1 different, 2 failure.
// A malformed command line shows the usage text and ends the process.
int runDiffCommand(int argc, char* argv[]);

// Whether the first word asks for the JSON report (-j): then runDiffCommand prints one JSON
// object and nothing else, not even the verdict line.
bool wantsJson(int argc, char* argv[]);

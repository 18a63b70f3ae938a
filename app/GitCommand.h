#pragma once

// What git runs as a diff driver (diff.<driver>.command): --git PATH OLD-FILE OLD-HEX OLD-MODE
// NEW-FILE NEW-HEX NEW-MODE, with NEW-PATH and a message after them for a rename. Prints every
// difference, naming the files a/PATH and b/PATH, and its verdict line. 0 when the comparison
// ran, whatever it found (git stops at any other code), 2 on a failure. Any other count of words
// shows the usage text and ends the process.
int runGitCommand(int argc, char* argv[]);

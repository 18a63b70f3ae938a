#pragma once

// quennel -r file element...: removes the named elements from the file in place.
// True on success, whether or not the file changed.
bool runRemoveCommand(int argc, char* argv[]);

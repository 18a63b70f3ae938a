#pragma once

#include "support/I18NString.h"

enum Action { ActionUsage = -1, ActionDiff = 0, ActionRemove = 1, ActionHelp = 2, ActionVersion = 3, ActionGit = 4 };

// Chooses the action from the argument count and the first argument.
int selectAction(int argc, char* argv[]);

// 0 when the two are equal ignoring the case of the ASCII letters, whatever the locale.
int compareNoCase(const I18NString& a, const I18NString& b);

// Runs the chosen command, prints the verdict line and gives the exit code.
int runMain(int argc, char* argv[]);

// The command line: with arguments the program runs one command and exits,
// without a display; without any it opens the window.
#pragma once

// Runs the command the arguments name and returns the exit status: 0 when
// all went as expected, 1 when a PC/SC call or an expected status word
// failed, 2 for bad usage.
int RunCommandLine(int argc, char* argv[]);

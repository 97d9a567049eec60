// The window's way in: the one function the window's library exports. The
// program loads the library only to open the window, so a command line run
// never loads Qt's GUI libraries.
#pragma once

// The exported name the program looks up in the window's library.
constexpr const char* WINDOW_ENTRY_NAME = "QuarnelRunWindow";

// Measures the counter rate, runs the main window to its end and returns the
// program's exit status.
extern "C" int QuarnelRunWindow(int argc, char* argv[]);

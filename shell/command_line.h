#pragma once

#include <string>

// The program's arguments, as the system handed them to main (already split).
// Index 0 is the first argument after the program's own name.

// Keeps a copy of argv[1..argc-1]; called once by initShell.
void setCommandLine(int argc, char** argv);

// Number of arguments after the program's name.
int argumentCount();

// The argument at index (0-based); "" when there is no argument there.
std::string argument(int index);

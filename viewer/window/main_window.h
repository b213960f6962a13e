// The viewer's main procedure: the window with its controls, menus and shortcuts, the event
// loop with its key polls and commands, and the ordered exit.
#pragma once

#include "viewer/window/viewer_ids.h"

// What the program does after one step of its life.
enum class ViewerStep {
    Continue,   // the event loop goes on
    Quit,       // normal end: settings are written, then everything is released
    EndAtOnce,  // a load failed, or the window could not be opened: release everything, no settings
};

// Start sequence up to and including the command-line file. Continue means the event loop may run.
ViewerStep startViewer(int argc, char** argv);

// One turn of the event loop for the event `kind` that waitEvent has just returned: polls
// Escape and the arrow keys, then handles the event. A kind of 0 (nothing arrived) only polls.
ViewerStep handleEvent(int kind);

// Exit sequence; `how` is Quit or EndAtOnce. Returns the process exit code, 0.
int finishViewer(ViewerStep how);

// The whole program: start, loop, exit.
int runViewer(int argc, char** argv);

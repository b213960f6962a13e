// The zoom, four display options, the largest width and the stay-on-top mode, kept in
// "pl2.ini" in the current directory, group "Options".
#pragma once

// Reads the settings file into the state, the controls, the menu check marks and the
// window's keep-on-top mode; bad zoom or width values are fixed with a message.
void readSettings();

// Writes the settings file anew; silently does nothing when it cannot be created.
void writeSettings();

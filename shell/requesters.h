#pragma once

#include <string>

// Modal requesters: a message box, the open and save file dialogs and a one-line text input.
// While one is open the program's other windows take no input and a window kept on top stops
// covering others; both are restored when it closes. Nothing is reported as a failure: a requester
// that cannot be shown behaves as a cancelled one.

// A message box with the title, the text, one OK button and no icon.
void showMessage(const std::string& title, const std::string& text);

// File dialogs. patterns alternates descriptions and single patterns separated by "|"
// ("PNG (*.png)|*.png|Bitmap|*.bmp"); patternIndex (0-based) is the pattern shown first.
// defaultFile gives the folder (up to its last "/") and the name to start with; a name that is not
// a valid file name starts empty. Returns the chosen file's full name, "" when cancelled.
// No question before replacing a file, no extension added, the current directory stays.
std::string askOpenFileName(const std::string& title, const std::string& defaultFile,
                            const std::string& patterns, int patternIndex);
std::string askSaveFileName(const std::string& title, const std::string& defaultFile,
                            const std::string& patterns, int patternIndex);

// 0-based index of the pattern chosen in the last confirmed file dialog, -1 after a cancelled one.
int selectedPatternIndex();

// A small dialog with the prompt and a field holding defaultText. Returns the field's text when
// confirmed (OK or Enter), "" when cancelled (Escape or the close box).
std::string askText(const std::string& title, const std::string& prompt, const std::string& defaultText);

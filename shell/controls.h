// Child controls of the current parent window: scroll bars, check boxes and the spin box,
// in one table of numbered controls shared with the canvas. Changes made by the program
// never come back as events; user input posts control events (kind 13100).
#pragma once

#include <string>

// Scroll bar: the state is the position, attributes 1 minimum, 2 maximum, 3 page length.
// Positions are clamped to minimum .. maximum - page length + 1. Every line, page and
// thumb action of the user posts type 0, also on each step of a thumb drag.
// Attribute 4, the page step, is how far a click into the trough moves, apart from the page
// length; 0 (at creation) moves by the page length.
constexpr int kScrollMinimum = 1, kScrollMaximum = 2, kScrollPageLength = 3, kScrollPageStep = 4;
int createScrollBar(int number, int x, int y, int width, int height, int minimum, int maximum, int pageLength,
                    int vertical);

// Check box toggled by every click (posts type 0); state 0 or 1.
int createCheckBox(int number, int x, int y, int width, int height, const std::string& caption);

// Right-aligned text field plus an arrow pair; the state is the arrow pair's value (starts
// at 0, attributes 1 minimum, 2 maximum), independent of the text. An arrow click or the
// Up/Down key in the field steps the value (clamped) and posts type 4 (up) or 5 (down);
// typing posts type 768.
constexpr int kSpinUp = 4, kSpinDown = 5, kSpinTextChanged = 768;
constexpr int kSpinMinimum = 1, kSpinMaximum = 2;
int createSpinBox(int number, int x, int y, int width, int height, int minimum, int maximum);

void setToolTip(int number, const std::string& text);  // replaces the control's tip
int getState(int number);
void setState(int number, int value);
int getAttribute(int number, int which);
void setAttribute(int number, int which, int value);
void setText(int number, const std::string& text);  // spin box field, check box caption
std::string getText(int number);
void setFocus(int number);  // -1 takes the focus from every control
void freeControl(int number);

// Moves and sizes the control within its window (a canvas gets a backing image of the new size).
void moveControl(int number, int x, int y, int width, int height);

// Binds every control event of the control, in its window.
void bindControlEvent(int control, void (*callback)());

// For the other parts of the shell: the control's main QWidget* (for a spin box its text
// field), nullptr if none; and the number of the window that holds it, -1 if none.
void* controlHandle(int number);
int controlWindow(int number);

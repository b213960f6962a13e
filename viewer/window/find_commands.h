// "Guess width", "Next graphics" and "Previous graphics": the view jumps to what the
// graphics finder sees from the first byte of the view, in the current colour mode.
#pragma once

// Sets the width to the guess for the bytes from the first byte of the view and renders,
// keeping that first byte. When nothing is found the view stays and the status line says so.
void guessWidthCommand();

// Moves the view to the next (forward) or previous region that looks like a picture, with
// that region's width and its first byte as the first byte of the view.
void nextGraphicsCommand(bool forward);

// "Guess width", "Next graphics", "Previous graphics" and "Identify format": the view jumps to
// what the graphics finder sees from the first byte of the view, in the current colour mode (or,
// identifying, in the format it finds likeliest).
#pragma once

// Sets the width to the guess for the bytes from the first byte of the view and renders,
// keeping that first byte. When nothing is found the view stays and the status line says so.
void guessWidthCommand();

// Moves the view to the next (forward) or previous region that looks like a picture, with
// that region's width and its first byte as the first byte of the view. A long search shows its
// progress on the status line and stops at Escape, leaving the view where it was.
void nextGraphicsCommand(bool forward);

// Sets the colour mode and the width to the likeliest format's at the first byte of the view,
// keeping that first byte, and names it and the runners-up on the status line. When nothing looks
// like a picture the view stays and the status line says so.
void identifyFormatCommand();

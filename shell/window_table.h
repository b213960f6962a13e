// The shell's window table as the other parts of the shell see it.
#pragma once

class QObject;
class QWidget;
class QMenuBar;

QWidget* windowFrame(int number);                  // the top-level widget
QWidget* windowClient(int number);                 // the client area below the menu bar: parent of controls
int windowNumberOfQWindow(const QObject* object);  // -1 unless it is the native window of one of ours
int currentParentWindow();                         // -1 when no window takes controls

// Puts the bar at the top of the window, taking its height from the client area.
void attachMenuBar(int window, QMenuBar* bar);
void layoutWindow(int window);

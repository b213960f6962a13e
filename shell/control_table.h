// The table of numbered controls shared by the controls and the canvas window.
#pragma once

#include <QPointer>
#include <QWidget>

enum class ControlKind { ScrollBar, CheckBox, SpinBox, Canvas };

struct ControlRecord {
    ControlKind kind = ControlKind::CheckBox;
    int window = -1;
    QPointer<QWidget> main;    // the scroll bar, check box, canvas or spin box's text field
    QPointer<QWidget> second;  // the spin box's arrow pair
    int minimum = 0, maximum = 0, pageLength = 0;  // scroll bar and spin box ranges
    int pageStep = 0;                              // scroll bar: a trough click's step; 0: the page length
    int value = 0;                                 // the spin box's value
    bool threeState = false;                       // check box
    int textColour = -1, backgroundColour = -1;    // spin box, -1 = none
};

ControlRecord* findControl(int number);

// Records a new control; the number must have been freed first (freeControl).
ControlRecord& addControl(int number, ControlKind kind, int window, QWidget* main, QWidget* second = nullptr);

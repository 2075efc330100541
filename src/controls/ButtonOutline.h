#pragma once
// The window shape of a button: the full rectangle minus the corner pixels
// that a style's outline leaves out, so the parent shows through them.

#include <QRegion>

// Region in client pixels for a button style of width w and height h.
QRegion BuildOutline(int buttonType, int w, int h);

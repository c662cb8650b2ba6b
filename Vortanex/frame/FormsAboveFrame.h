#pragma once
// Modeless forms (the order form, the basket, the alert manager) are windows
// of their own without a parent widget. Each is made a transient of the main
// frame as it is shown, so that a click on the frame (its ribbon, a view)
// never hides the form behind it. UI thread.
class QWidget;

void KeepFormsAboveFrame(QWidget& frame);

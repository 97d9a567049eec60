// For the tests: the Qt widgets behind a dialog and its controls, so a test
// can click and type into them like a user.
#pragma once

#include "ui/messages.h"

class QWidget;

QWidget* DialogWidget(HWND dialog);
// The control's widget, nullptr when the dialog has no such control.
QWidget* DialogItemWidget(HWND dialog, int id);

// The insight panel beside the main window's fixed layout.
#pragma once

// Shows the last loop's record (transmit/transmit.h loopRecord) in the
// panel's charts; called on the window's thread once the loop has ended.
void ShowLoopCharts();

// Every command handler of the main window, in one shape: it gets the
// identifier of the control or menu item that sent the command and returns
// what the dialog procedure returns (TRUE when handled; FALSE lets the
// default handling follow). app/dispatch.cpp maps identifiers to handlers in
// one table; a new button is one row there and one handler here.
#pragma once

#include "ui/winsys.h"

typedef INT_PTR (*CommandHandler)(int id);

// Resource Manager group and the log.
INT_PTR CmdEstablishContext(int id);
INT_PTR CmdListReaders(int id);
INT_PTR CmdConnectCard(int id);
INT_PTR CmdDisconnectCard(int id);
INT_PTR CmdReleaseContext(int id);
INT_PTR CmdShowAttributes(int id);  // FALSE: the default handling of a button does nothing
INT_PTR CmdClearLog(int id);
INT_PTR CmdSaveLog(int id);  // the system menu's "Save Log..."
// Not a command: the resume from suspend reconnects the held card.
void ReconnectAfterResume();

// Data entry.
INT_PTR CmdSelectEntryMode(int id);
INT_PTR CmdUpdateStringData(int id);
INT_PTR CmdUpdateHexData(int id);
INT_PTR CmdLoadDataFile(int id);

// Command type, storage composer and vendor requests.
INT_PTR CmdSelectCommandType(int id);
INT_PTR CmdSwitchStorageCommand(int id);
INT_PTR CmdSelectVendorIo(int id);
INT_PTR CmdShowVendorMenu(int id);
INT_PTR CmdSelectVendorCommand(int id);

// Transmit and the loop. A Transmit of more than one run is a loop: it runs
// on a worker thread, and while it runs Transmit (then "&Stop") and Escape
// (IDCANCEL) stop it after the run under way; CmdStopLoop returns FALSE
// when no loop runs.
INT_PTR CmdTransmit(int id);
INT_PTR CmdStopLoop(int id);
INT_PTR CmdToggleLoop(int id);
INT_PTR CmdUpdateLoopCount(int id);
INT_PTR CmdToggleBreakOnError(int id);  // FALSE, as the check box always answered
// Not commands: the loop's worker posts its progress (wParam = percent) and
// its end; the window's thread shows them.
constexpr UINT WM_LOOP_PROGRESS = WM_APP + 1;
constexpr UINT WM_LOOP_DONE = WM_APP + 2;
bool LoopRunning();  // from the loop's start until its end has been shown
void ShowLoopProgress(int32_t percent);
void FinishLoop();  // joins the worker and shows the result; nothing when no loop runs
// Stops a running loop and finishes it: before the window's thread touches
// the card or the context again (closing, resume from suspend).
void EndLoop();

// The insight panel (app/panel.cpp).
INT_PTR CmdToggleInsight(int id);
INT_PTR CmdSaveSamples(int id);
INT_PTR CmdShowPanelPage(int id);  // its page buttons, and F3 for the card page
INT_PTR CmdClearCardEvents(int id);

// The window.
INT_PTR CmdOpenHelp(int id);
INT_PTR CmdQuit(int id);

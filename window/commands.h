// Every command handler of the main window, in one shape: it gets the
// identifier of the control or menu item that sent the command and returns
// what the dialog procedure returns (TRUE when handled; FALSE lets the
// default handling follow). window/dispatch.cpp maps identifiers to handlers in
// one table; a new button is one row there and one handler here.
#pragma once

#include "ui/winsys.h"
#include "window/tester_state.h"

typedef INT_PTR (*CommandHandler)(int id);

// Resource Manager group and the log.
INT_PTR EstablishContext(int id);
INT_PTR ListReaders(int id);
INT_PTR ConnectSelectedReader(int id);
INT_PTR DisconnectCard(int id);
INT_PTR ReleaseContext(int id);
INT_PTR ShowAttributes(int id);  // FALSE: the default handling of a button does nothing
INT_PTR ClearLog(int id);
INT_PTR SaveLog(int id);  // the system menu's "Save Log..."
// Not a command: the resume from suspend reconnects the held card.
void ReconnectAfterResume();

// Data entry.
INT_PTR SelectEntryMode(int id);
INT_PTR UpdateStringData(int id);
INT_PTR UpdateHexData(int id);
INT_PTR LoadDataFile(int id);

// Command type, storage composer and vendor requests.
INT_PTR SelectCommandType(int id);
INT_PTR SwitchStorageCommand(int id);
INT_PTR SelectVendorIo(int id);
INT_PTR ShowVendorMenu(int id);
INT_PTR SelectVendorCommand(int id);

// Transmit and the loop. A Transmit of more than one run is a loop: it runs
// on a worker thread, and while it runs Transmit (then "&Stop") and Escape
// (IDCANCEL) stop it after the run under way; StopLoop returns FALSE
// when no loop runs.
INT_PTR TransmitCommand(int id);
INT_PTR StopLoop(int id);
INT_PTR ToggleLoop(int id);
INT_PTR UpdateLoopCount(int id);
INT_PTR ToggleBreakOnError(int id);  // FALSE, as the check box always answered
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
// Every control that could start or change a command, or reads what a
// worker writes, made inert while one runs (their states kept), and given
// back their states after.
void MakeCardControlsInert(bool (&wasEnabled)[LOOP_INERT_CONTROL_COUNT]);
void RestoreCardControls(const bool (&wasEnabled)[LOOP_INERT_CONTROL_COUNT]);

// The insight panel (window/panel.cpp).
INT_PTR ToggleInsight(int id);
INT_PTR SaveSamples(int id);
// Its page buttons, F3 for the card page, F4 for the control page, F5 for the
// Qualify page.
INT_PTR ShowPanelPage(int id);
INT_PTR ClearCardEventList(int id);
// The Reader Control page (window/control_page.cpp); set-up shows the
// state's defaults.
void InitControlPage();
INT_PTR ChooseConnectOption(int id);  // share, protocol and disconnect buttons
INT_PTR ChooseDialect(int id);        // class, GENERAL AUTHENTICATE, GET RESPONSE
INT_PTR ChooseVendorTarget(int id);   // the vendor record's destination and code
INT_PTR ResetConnectedCard(int id);   // Warm Reset, Cold Reset
INT_PTR SendControlCode(int id);
INT_PTR ShowFeatures(int id);
INT_PTR ReadOneAttribute(int id);
// The connected card's ATR into the ATR field and the card page.
void ShowConnectedAtr();

// The Qualify page (window/qualify_page.cpp). Run reads the plan and runs it
// on a worker thread, suite by suite, on the connected card; Stop (and
// Escape) end it after the exchange under way; StopQualify returns FALSE
// when no run is under way.
INT_PTR OpenPlan(int id);
INT_PTR RunPlan(int id);
INT_PTR StopQualify(int id);
INT_PTR ShowSelectedSuite(int id);
INT_PTR SaveQualifyJson(int id);
INT_PTR SaveQualifyJunit(int id);
// Not a command: the card the run left is the window's again, connected or
// lost (window/connection_commands.cpp).
void TakeBackCard(SCARDHANDLE card, DWORD protocol);

// The window.
INT_PTR OpenHelp(int id);
INT_PTR Quit(int id);

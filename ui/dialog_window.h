// The Qt side of the window-system layer: a dialog built from a template,
// its controls, and the menus. winsys.cpp is the layer over this one and
// this one calls nothing of it; only ui/ includes this header.
#pragma once

#include <QByteArray>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QValidator>
#include <QWidget>

#include "ui/messages.h"
#include "ui/templates.h"

class QEventLoop;
class QScrollBar;

constexpr int MENU_ITEM_CAPACITY = 16;
constexpr int MENU_TEXT_SIZE = 64;

// A menu as the program builds it; the Qt menu exists only while it is open.
class PopupMenu {
public:
    // Appends an item, a separator for id 0; a full menu takes no more. The
    // text is cut to MENU_TEXT_SIZE - 1 characters.
    void Append(int id, const char* text);
    int Count() const { return count; }
    // The item at `position`: its identifier (0 for a separator, -1 when
    // there is no such item) and its text (nullptr when there is none).
    int ItemId(int position) const;
    const char* ItemText(int position) const;
    // Opens the menu with its top-left corner at `position` (screen
    // coordinates), or its bottom-left corner there when `upward`; returns
    // the chosen item's identifier, 0 when it closed without a choice.
    int Run(QWidget* parent, QPoint position, bool upward, const char* objectName) const;

private:
    struct Item {
        int id;  // 0 for a separator
        char text[MENU_TEXT_SIZE];
    };
    Item items[MENU_ITEM_CAPACITY] {};
    int count = 0;
};

// Refuses typed text beyond the limit (program texts stay whole) or with a
// character that has no Latin-1 form, and turns typed a-z into capitals
// where the template asks for it.
class FieldValidator : public QValidator {
public:
    FieldValidator(bool uppercase, QObject* parent);
    State validate(QString& input, int& position) const override;
    int limit;  // characters; 0 for none
    bool uppercase;
};

class DialogWindow;

// A message posted to a dialog from any thread; its own thread delivers it.
class PostedMessage : public QEvent {
public:
    static constexpr QEvent::Type TYPE = QEvent::Type(QEvent::User + 1);
    PostedMessage(UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(TYPE)
        , message(message)
        , wParam(wParam)
        , lParam(lParam)
    {
    }
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Single-line edit field: its focus changes notify the dialog.
class EditField : public QLineEdit {
public:
    EditField(DialogWindow* dialog, int id);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    DialogWindow* dialog;
    int id;
};

// Plain radio button: a click notifies, the check stays as the program set it.
class PlainRadioButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void nextCheckState() override { }
};

// The log pane and the read-only texts keep the bytes they were given, so
// reading them back returns exactly them (line breaks included).
class LogView : public QPlainTextEdit {
public:
    explicit LogView(QWidget* parent)
        : QPlainTextEdit(parent)
    {
    }
    QByteArray bytes;
};

class DialogWindow : public QWidget {
    Q_OBJECT

public:
    DialogWindow(const DialogTemplate& dialogTemplate, DialogWindow* owner, DLGPROC proc);
    ~DialogWindow() override;

    // Every message to the dialog passes here; after WM_DESTROY none does. A
    // system command that the procedure leaves unprocessed gets the default
    // handling.
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    // WM_COMMAND from control `id` with a notification code.
    void Notify(int id, unsigned code);
    // SC_CLOSE sends WM_CLOSE, SC_MINIMIZE minimizes; any other does nothing.
    void DefaultSystemCommand(WPARAM command);
    // WM_INITDIALOG, then the focus and the window shown (unless it ended).
    void Open(LPARAM param);
    // Runs the dialog's own loop until it ends (not at all when it already
    // has) and returns the value it ended with.
    INT_PTR RunModal();
    // Keeps the result; the first call hides the dialog and ends its loop.
    void End(INT_PTR result);
    QWidget* Item(int id) const;  // nullptr when the dialog has no such control
    const ControlTemplate* ItemTemplate(int id) const;
    // Notes that the control's text changed; RepaintItem then paints it now.
    void MarkUnpainted(int id);
    void RepaintItem(int id);
    PopupMenu* SystemMenu() { return &systemMenu; }
    // Shows or hides the panel: the window widens or narrows on its right,
    // the rest stays. A focus inside a panel that hides goes to the last tab
    // stop outside it (the control that shows it, as the template places it).
    void ShowPanel(bool show);
    bool PanelShown() const { return panelShown; }
    // Hides or shows one control for good: a hidden panel control stays
    // hidden when the panel shows. A focus inside a control that hides goes
    // to the next tab stop.
    void ShowItem(int id, bool show);
    // `key` (a Qt key without modifiers) sends WM_COMMAND with `id` and the
    // notification code 1 while the window is active.
    void AddAccelerator(int key, int id);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private slots:
    void prepareForSleep(bool sleeping);

private:
    QWidget* CreateControl(const ControlTemplate& control);
    void SubscribeToPowerEvents();
    int ItemIndex(int id) const;  // place in the template, -1 when none
    bool InPanel(int index) const;
    // Dialog units to pixels with the window font's metrics.
    int PixelsX(int units) const;
    int PixelsY(int units) const;
    void ShowSystemMenu(QPoint position);
    // Sizes the window to its content (the panel too while it shows) where
    // that fits the screen's available area with the window manager's
    // frame; where it does not, limits it to the area and shows scroll bars
    // over the rest. Returns whether the size changed.
    bool FitContent();
    // Places every control at its template position less the scroll bars'.
    void ScrollContent();
    // Scrolls the control holding `widget` into view.
    void ScrollToFocus(QWidget* widget);
    // Moves the window, whose frame starts at `frameTopLeft` and adds
    // `frameExtra` to its size, the least it must to lie inside the
    // screen's available area.
    void MoveInsideArea(QPoint frameTopLeft, QSize frameExtra);

    const DialogTemplate& dialogTemplate;
    DLGPROC proc;
    int baseX;                         // average character width of the window font
    int baseY;                         // its height
    QWidget* items[CONTROL_CAPACITY];  // in template order
    bool unpainted[CONTROL_CAPACITY];  // the control's text changed since it was last painted
    bool hidden[CONTROL_CAPACITY];     // hidden by the program, whatever the panel does
    PopupMenu systemMenu;
    // Along the bottom and the right edge; made the first time the content
    // does not fit, so that a window that fits has no more than its controls.
    QScrollBar* scrollBars[2];
    QSize viewSize;  // the part of the client area that shows content
    bool panelShown;
    QEventLoop* loop;  // the modal run, while it lasts
    bool ended;
    bool destroyed;  // WM_DESTROY has been sent: no more messages
    INT_PTR result;
};

// The handles stand for these objects; only ui/ converts.
inline HWND HandleOf(DialogWindow* dialog)
{
    return reinterpret_cast<HWND>(dialog);
}
inline DialogWindow* DialogOf(HWND dialog)
{
    return reinterpret_cast<DialogWindow*>(dialog);
}
inline HMENU HandleOf(PopupMenu* menu)
{
    return reinterpret_cast<HMENU>(menu);
}
inline PopupMenu* MenuOf(HMENU menu)
{
    return reinterpret_cast<PopupMenu*>(menu);
}

QIcon ProgramIcon();
// A caption as shown: "&&" gives "&", a single '&' (the mnemonic mark) goes.
QString StripMnemonic(const QString& caption);

// The Qt side of the window-system layer: a dialog built from a template,
// its controls, and the menus. Only ui/ and the tests include this.
#pragma once

#include <QByteArray>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QValidator>
#include <QWidget>

#include "ui/templates.h"
#include "ui/winsys.h"

class QEventLoop;

constexpr int MENU_ITEM_CAPACITY = 16;
constexpr int MENU_TEXT_SIZE = 64;

// A menu as the program builds it; the Qt menu exists only while it is open.
struct PopupMenu {
    struct Item {
        int id;  // 0 for a separator
        char text[MENU_TEXT_SIZE];
    };
    Item items[MENU_ITEM_CAPACITY];
    int count;
    PopupMenu* next;  // every menu made by CreatePopupMenu stays on one list
};

// Opens `menu` with its top-left corner at `position` (screen coordinates),
// or its bottom-left corner there when `upward`; returns the chosen item's
// identifier, 0 when it closed without a choice.
int RunMenu(const PopupMenu& menu, QWidget* parent, QPoint position, bool upward, const char* objectName);

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

struct DialogWindow;

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

// The log pane keeps the bytes it was given, so reading it back returns
// exactly them (line breaks included).
class LogView : public QPlainTextEdit {
public:
    explicit LogView(QWidget* parent)
        : QPlainTextEdit(parent)
    {
    }
    QByteArray bytes;
};

struct DialogWindow : public QWidget {
    Q_OBJECT

public:
    DialogWindow(const DialogTemplate& dialogTemplate, DialogWindow* owner, DLGPROC proc);
    ~DialogWindow() override;

    // Every message to the dialog passes here; a system command that the
    // procedure leaves unprocessed gets the default handling.
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void Notify(int id, unsigned code);
    QWidget* Item(int id) const;
    int ItemIndex(int id) const;  // place in the template, -1 when none
    const ControlTemplate* ItemTemplate(int id) const;
    // Dialog units to pixels with the window font's metrics.
    int PixelsX(int units) const;
    int PixelsY(int units) const;
    // WM_INITDIALOG, then the focus and the window shown.
    void Open(LPARAM param);
    void ShowSystemMenu(QPoint position);

    const DialogTemplate& dialogTemplate;
    DLGPROC proc;
    int baseX;                         // average character width of the window font
    int baseY;                         // its height
    QWidget* items[CONTROL_CAPACITY];  // in template order
    bool unpainted[CONTROL_CAPACITY];  // the control's text changed since it was last repainted
    PopupMenu systemMenu;
    QEventLoop* loop;  // the modal run, while it lasts
    bool ended;
    bool destroyed;  // WM_DESTROY has been sent: no more messages
    INT_PTR result;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private slots:
    void prepareForSleep(bool sleeping);

private:
    QWidget* CreateControl(const ControlTemplate& control);
    void SubscribeToPowerEvents();
};

QIcon ProgramIcon();
// A caption as shown: "&&" gives "&", a single '&' (the mnemonic mark) goes.
QString StripMnemonic(const QString& caption);

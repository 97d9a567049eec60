// The window-system operations, the layer over the Qt dialogs of
// dialog_window.h: handles become objects here, and every call goes through
// their public methods.
#include "ui/winsys.h"

#include <cstring>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTextCursor>
#include <QUrl>

#include "core/output/utf8.h"
#include "ui/dialog_window.h"
#include "ui/ids.h"
#include "ui/widget_lookup.h"

namespace {

constexpr unsigned ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

unsigned lastError;
unsigned lastFileDialogError;

// Every popup menu stays on one list, reachable for the program's life.
struct MenuRecord {
    PopupMenu menu;
    MenuRecord* next;
};
MenuRecord* popupMenus;

QWidget* ItemWidget(HWND dialog, int id)
{
    return dialog ? DialogOf(dialog)->Item(id) : nullptr;
}

// Only for a control the dialog has.
ControlKind KindOf(HWND dialog, int id)
{
    return DialogOf(dialog)->ItemTemplate(id)->kind;
}

bool IsEditKind(ControlKind kind)
{
    return kind == ControlKind::Edit || kind == ControlKind::NumberField || kind == ControlKind::ReadOnly
        || kind == ControlKind::ReadOnlyRight;
}

// Copies at most capacity - 1 bytes and a terminator; returns the count.
unsigned CopyOut(const QByteArray& bytes, char* buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return 0;
    int count = int(bytes.size()) < capacity - 1 ? int(bytes.size()) : capacity - 1;
    memcpy(buffer, bytes.constData(), size_t(count));
    buffer[count] = '\0';
    return unsigned(count);
}

bool IsTextPaneKind(ControlKind kind)
{
    return kind == ControlKind::Log || kind == ControlKind::ReadOnlyText;
}

// A text pane holds lines as the command line prints them: UTF-8 where
// valid, every other byte its Latin-1 character (core/output/utf8.h).
QString PaneText(const char* text)
{
    QString value;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text ? text : ""); *c != '\0';) {
        int length = Utf8SequenceLength(c);
        if (length == 0)
            value += QChar(*c);
        else
            value += QString::fromUtf8(reinterpret_cast<const char*>(c), length);
        c += length > 0 ? length : 1;
    }
    return value;
}

// The view follows the end, as a terminal does, unless the reader has
// scrolled up: then it stays where it is.
template<class Change> void ChangeKeepingView(LogView* pane, Change change)
{
    QScrollBar* vertical = pane->verticalScrollBar();
    QScrollBar* horizontal = pane->horizontalScrollBar();
    bool atEnd = vertical->value() == vertical->maximum();
    int line = vertical->value();
    int column = horizontal->value();
    change();
    vertical->setValue(atEnd ? vertical->maximum() : line);
    horizontal->setValue(column);
}

HWND CreateDialogWindow(int templateId, HWND owner, DLGPROC proc, LPARAM param, bool modal)
{
    const DialogTemplate* dialogTemplate = FindDialogTemplate(templateId);
    if (!dialogTemplate || !proc) {
        lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    auto* dialog = new DialogWindow(*dialogTemplate, DialogOf(owner), proc);
    if (modal && owner)
        dialog->setWindowModality(Qt::WindowModal);
    dialog->Open(param);
    return HandleOf(dialog);
}

}  // namespace

QWidget* DialogWidget(HWND dialog)
{
    return DialogOf(dialog);
}

QWidget* DialogItemWidget(HWND dialog, int id)
{
    return ItemWidget(dialog, id);
}

INT_PTR DialogBoxParam(int templateId, HWND owner, DLGPROC proc, LPARAM param)
{
    HWND dialog = CreateDialogWindow(templateId, owner, proc, param, true);
    if (!dialog)
        return -1;
    // The result is taken before WM_DESTROY, whose handler may end the
    // dialog once more.
    INT_PTR result = DialogOf(dialog)->RunModal();
    DestroyDialog(dialog);
    // The owner takes the keyboard again, also without a window manager.
    if (owner)
        DialogOf(owner)->activateWindow();
    return result;
}

HWND CreateDialogParam(int templateId, HWND owner, DLGPROC proc, LPARAM param)
{
    return CreateDialogWindow(templateId, owner, proc, param, false);
}

void EndDialog(HWND dialog, INT_PTR result)
{
    if (dialog)
        DialogOf(dialog)->End(result);
}

void DestroyDialog(HWND dialog)
{
    if (!dialog)
        return;
    DialogOf(dialog)->Dispatch(WM_DESTROY, 0, 0);
    delete DialogOf(dialog);
}

INT_PTR SendDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return dialog ? DialogOf(dialog)->Dispatch(message, wParam, lParam) : FALSE;
}

INT_PTR SendCommand(HWND dialog, WPARAM wParam)
{
    return SendDialogMessage(dialog, WM_COMMAND, wParam, 0);
}

void PostDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (dialog)
        QCoreApplication::postEvent(DialogOf(dialog), new PostedMessage(message, wParam, lParam));
}

INT_PTR DefWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (dialog && message == WM_SYSCOMMAND)
        DialogOf(dialog)->DefaultSystemCommand(wParam);
    return 0;
}

unsigned GetLastError()
{
    return lastError;
}

void SetDlgItemText(HWND dialog, int id, const char* text)
{
    QWidget* widget = ItemWidget(dialog, id);
    if (!widget)
        return;
    QString value = QString::fromLatin1(text ? text : "");
    ControlKind kind = KindOf(dialog, id);
    if (IsEditKind(kind)) {
        // The field's handler runs exactly once, also for an unchanged text.
        {
            QSignalBlocker blocker(widget);
            auto* edit = static_cast<QLineEdit*>(widget);
            if (edit->text() != value)
                DialogOf(dialog)->MarkUnpainted(id);
            edit->setText(value);
            edit->setCursorPosition(0);
        }
        DialogOf(dialog)->Notify(id, EN_CHANGE);
        return;
    }
    switch (kind) {
    case ControlKind::Log: {
        auto* pane = static_cast<LogView*>(widget);
        ChangeKeepingView(pane, [pane, text, &value] {
            pane->bytes = QByteArray(text ? text : "");
            pane->setPlainText(PaneText(text));
        });
        break;
    }
    case ControlKind::ReadOnlyText: {
        // A new text is read from its start (an ATR's decoding, a summary).
        auto* pane = static_cast<LogView*>(widget);
        pane->bytes = QByteArray(text ? text : "");
        pane->setPlainText(PaneText(text));
        break;
    }
    case ControlKind::PushButton:
    case ControlKind::DefaultButton:
    case ControlKind::RadioButton:
    case ControlKind::CheckBox:
        static_cast<QAbstractButton*>(widget)->setText(value);
        widget->setAccessibleName(StripMnemonic(value));
        break;
    case ControlKind::Label:
    case ControlKind::LabelRight:
        static_cast<QLabel*>(widget)->setText(value);
        widget->setAccessibleName(StripMnemonic(value));
        break;
    case ControlKind::GroupBox:
        static_cast<QGroupBox*>(widget)->setTitle(value);
        widget->setAccessibleName(StripMnemonic(value));
        break;
    default:
        break;
    }
}

void AppendDlgItemText(HWND dialog, int id, const char* text)
{
    QWidget* widget = ItemWidget(dialog, id);
    if (!widget || !text || !IsTextPaneKind(KindOf(dialog, id)))
        return;
    auto* pane = static_cast<LogView*>(widget);
    ChangeKeepingView(pane, [pane, text] {
        pane->bytes.append(text);
        // The document reads line breaks as setPlainText does: CR LF, a lone
        // CR and a lone LF each end a line.
        QTextCursor end(pane->document());
        end.movePosition(QTextCursor::End);
        end.insertText(PaneText(text));
    });
}

unsigned GetDlgItemText(HWND dialog, int id, char* buffer, int capacity)
{
    QWidget* widget = ItemWidget(dialog, id);
    if (!widget)
        return CopyOut(QByteArray(), buffer, capacity);
    ControlKind kind = KindOf(dialog, id);
    if (IsEditKind(kind))
        return CopyOut(static_cast<QLineEdit*>(widget)->text().toLatin1(), buffer, capacity);
    switch (kind) {
    case ControlKind::Log:
    case ControlKind::ReadOnlyText:
        return CopyOut(static_cast<LogView*>(widget)->bytes, buffer, capacity);
    case ControlKind::PushButton:
    case ControlKind::DefaultButton:
    case ControlKind::RadioButton:
    case ControlKind::CheckBox:
        return CopyOut(static_cast<QAbstractButton*>(widget)->text().toLatin1(), buffer, capacity);
    case ControlKind::Label:
    case ControlKind::LabelRight:
        return CopyOut(static_cast<QLabel*>(widget)->text().toLatin1(), buffer, capacity);
    case ControlKind::GroupBox:
        return CopyOut(static_cast<QGroupBox*>(widget)->title().toLatin1(), buffer, capacity);
    default:
        return CopyOut(QByteArray(), buffer, capacity);
    }
}

void SetDlgItemInt(HWND dialog, int id, unsigned value)
{
    char text[16];
    snprintf(text, sizeof text, "%u", value);
    SetDlgItemText(dialog, id, text);
}

// As Win32 reads an unsigned number: leading blanks are skipped, then the
// digits are read; a text without digits, or with anything but blanks after
// them, is not a number and gives 0. Beyond 4294967295 the value wraps
// modulo 2^32.
unsigned GetDlgItemInt(HWND dialog, int id)
{
    char text[64];
    GetDlgItemText(dialog, id, text, sizeof text);
    const char* p = text;
    while (*p == ' ')
        ++p;
    if (*p < '0' || *p > '9')
        return 0;
    unsigned value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = value * 10u + unsigned(*p - '0');
    while (*p == ' ')
        ++p;
    return *p ? 0 : value;
}

void EnableDlgItem(HWND dialog, int id, bool enable)
{
    if (QWidget* widget = ItemWidget(dialog, id))
        widget->setEnabled(enable);
}

bool IsDlgItemEnabled(HWND dialog, int id)
{
    QWidget* widget = ItemWidget(dialog, id);
    return widget && widget->isEnabled();
}

void CheckDlgButton(HWND dialog, int id, bool checked)
{
    if (auto* button = qobject_cast<QAbstractButton*>(ItemWidget(dialog, id)))
        button->setChecked(checked);
}

bool IsDlgButtonChecked(HWND dialog, int id)
{
    auto* button = qobject_cast<QAbstractButton*>(ItemWidget(dialog, id));
    return button && button->isChecked();
}

void MakeDlgButtonCheckable(HWND dialog, int id)
{
    if (auto* button = qobject_cast<QAbstractButton*>(ItemWidget(dialog, id))) {
        button->setCheckable(true);
        button->setAutoExclusive(true);
    }
}

void LimitDlgItemText(HWND dialog, int id, int limit)
{
    auto* edit = qobject_cast<QLineEdit*>(ItemWidget(dialog, id));
    if (!edit)
        return;
    auto* validator = static_cast<FieldValidator*>(const_cast<QValidator*>(edit->validator()));
    validator->limit = limit > 0 ? limit : 0;
}

void ListResetContent(HWND dialog, int id)
{
    if (auto* list = qobject_cast<QListWidget*>(ItemWidget(dialog, id))) {
        QSignalBlocker blocker(list);
        list->clear();
    }
}

void ListAddString(HWND dialog, int id, const char* text)
{
    if (auto* list = qobject_cast<QListWidget*>(ItemWidget(dialog, id))) {
        QSignalBlocker blocker(list);
        list->addItem(QString::fromLatin1(text ? text : ""));
    }
}

void ListSetCurSel(HWND dialog, int id, int index)
{
    auto* list = qobject_cast<QListWidget*>(ItemWidget(dialog, id));
    if (!list)
        return;
    QSignalBlocker blocker(list);
    if (index < 0 || index >= list->count()) {
        list->clearSelection();
        return;
    }
    list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    list->scrollToItem(list->item(index));
}

int ListGetCurSel(HWND dialog, int id)
{
    auto* list = qobject_cast<QListWidget*>(ItemWidget(dialog, id));
    if (!list)
        return -1;
    QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int ListGetCount(HWND dialog, int id)
{
    auto* list = qobject_cast<QListWidget*>(ItemWidget(dialog, id));
    return list ? list->count() : 0;
}

int ListGetText(HWND dialog, int id, int index, char* buffer, int capacity)
{
    auto* list = qobject_cast<QListWidget*>(ItemWidget(dialog, id));
    if (!list || index < 0 || index >= list->count()) {
        CopyOut(QByteArray(), buffer, capacity);
        return -1;
    }
    return int(CopyOut(list->item(index)->text().toLatin1(), buffer, capacity));
}

void RepaintDlgItem(HWND dialog, int id)
{
    if (dialog)
        DialogOf(dialog)->RepaintItem(id);
}

void GetDlgItemScreenRect(HWND dialog, int id, RECT* rect)
{
    QWidget* widget = ItemWidget(dialog, id);
    if (!widget || !rect)
        return;
    QPoint topLeft = widget->mapToGlobal(QPoint(0, 0));
    rect->left = topLeft.x();
    rect->top = topLeft.y();
    rect->right = topLeft.x() + widget->width();
    rect->bottom = topLeft.y() + widget->height();
}

void SetDialogIcon(HWND dialog, int iconId)
{
    if (!dialog || iconId != IDI_MAIN)
        return;
    QIcon icon = ProgramIcon();
    DialogOf(dialog)->setWindowIcon(icon);
    QApplication::setWindowIcon(icon);
}

void ListDeleteString(HWND dialog, int id, int index)
{
    auto* list = qobject_cast<QListWidget*>(ItemWidget(dialog, id));
    if (!list || index < 0 || index >= list->count())
        return;
    QSignalBlocker blocker(list);
    delete list->takeItem(index);
}

void TableSetColumns(HWND dialog, int id, const char* const* titles, int count)
{
    auto* table = qobject_cast<QTableWidget*>(ItemWidget(dialog, id));
    if (!table)
        return;
    QSignalBlocker blocker(table);
    table->clear();
    table->setRowCount(0);
    table->setColumnCount(count > 0 ? count : 0);
    QStringList labels;
    for (int i = 0; i < count; ++i)
        labels << QString::fromLatin1(titles[i] ? titles[i] : "");
    table->setHorizontalHeaderLabels(labels);
    table->resizeColumnsToContents();
}

void TableResetContent(HWND dialog, int id)
{
    if (auto* table = qobject_cast<QTableWidget*>(ItemWidget(dialog, id))) {
        QSignalBlocker blocker(table);
        table->setRowCount(0);
    }
}

void TableAddRow(HWND dialog, int id, const char* const* cells, int count)
{
    auto* table = qobject_cast<QTableWidget*>(ItemWidget(dialog, id));
    if (!table)
        return;
    QSignalBlocker blocker(table);
    int row = table->rowCount();
    table->insertRow(row);
    for (int column = 0; column < count && column < table->columnCount(); ++column)
        table->setItem(row, column, new QTableWidgetItem(QString::fromLatin1(cells[column] ? cells[column] : "")));
    table->resizeColumnsToContents();
}

int TableGetCount(HWND dialog, int id)
{
    auto* table = qobject_cast<QTableWidget*>(ItemWidget(dialog, id));
    return table ? table->rowCount() : 0;
}

int TableGetCurSel(HWND dialog, int id)
{
    auto* table = qobject_cast<QTableWidget*>(ItemWidget(dialog, id));
    if (!table)
        return -1;
    QModelIndexList rows = table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TableSetCurSel(HWND dialog, int id, int row)
{
    auto* table = qobject_cast<QTableWidget*>(ItemWidget(dialog, id));
    if (!table)
        return;
    QSignalBlocker blocker(table);
    if (row < 0 || row >= table->rowCount()) {
        table->clearSelection();
        return;
    }
    table->selectRow(row);
    table->scrollTo(table->model()->index(row, 0));
}

int TableGetText(HWND dialog, int id, int row, int column, char* buffer, int capacity)
{
    auto* table = qobject_cast<QTableWidget*>(ItemWidget(dialog, id));
    QTableWidgetItem* item = table ? table->item(row, column) : nullptr;
    if (!item) {
        CopyOut(QByteArray(), buffer, capacity);
        return -1;
    }
    return int(CopyOut(item->text().toLatin1(), buffer, capacity));
}

void ShowDlgItem(HWND dialog, int id, bool show)
{
    if (dialog)
        DialogOf(dialog)->ShowItem(id, show);
}

void SetDlgItemTip(HWND dialog, int id, const char* text)
{
    if (QWidget* widget = ItemWidget(dialog, id)) {
        QString tip = QString::fromLatin1(text ? text : "");
        widget->setToolTip(tip);
        widget->setAccessibleDescription(tip);
    }
}

void MarkDlgItem(HWND dialog, int id, bool marked)
{
    QWidget* widget = ItemWidget(dialog, id);
    if (!widget || widget->property("marked").toBool() == marked)
        return;
    widget->setProperty("marked", marked);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, marked ? QColor(Qt::red) : QApplication::palette(widget).color(QPalette::Text));
    widget->setPalette(palette);
}

bool IsDlgItemMarked(HWND dialog, int id)
{
    QWidget* widget = ItemWidget(dialog, id);
    return widget && widget->property("marked").toBool();
}

void ShowDialogPanel(HWND dialog, bool show)
{
    if (dialog)
        DialogOf(dialog)->ShowPanel(show);
}

bool IsDialogPanelShown(HWND dialog)
{
    return dialog && DialogOf(dialog)->PanelShown();
}

void AddDialogAccelerator(HWND dialog, UINT virtualKey, int id)
{
    constexpr UINT VK_F1 = 0x70;
    constexpr UINT VK_F24 = 0x87;
    if (dialog && virtualKey >= VK_F1 && virtualKey <= VK_F24)
        DialogOf(dialog)->AddAccelerator(int(Qt::Key_F1 + (virtualKey - VK_F1)), id);
}

HMENU GetSystemMenu(HWND dialog)
{
    return dialog ? HandleOf(DialogOf(dialog)->SystemMenu()) : nullptr;
}

HMENU CreatePopupMenu()
{
    auto* record = new MenuRecord {PopupMenu {}, popupMenus};
    popupMenus = record;
    return HandleOf(&record->menu);
}

void AppendMenuItem(HMENU menu, int id, const char* text)
{
    if (menu && id != 0)
        MenuOf(menu)->Append(id, text);
}

void AppendMenuSeparator(HMENU menu)
{
    if (menu)
        MenuOf(menu)->Append(0, nullptr);
}

int GetMenuItemCount(HMENU menu)
{
    return menu ? MenuOf(menu)->Count() : -1;
}

UINT GetMenuItemID(HMENU menu, int position)
{
    return menu ? UINT(MenuOf(menu)->ItemId(position)) : UINT(-1);
}

int GetMenuString(HMENU menu, int position, char* buffer, int capacity)
{
    const char* text = menu ? MenuOf(menu)->ItemText(position) : nullptr;
    return int(CopyOut(QByteArray(text ? text : ""), buffer, capacity));
}

void TrackPopupMenuUpward(HMENU menu, HWND owner, int x, int y)
{
    if (!menu)
        return;
    int id = MenuOf(menu)->Run(DialogOf(owner), QPoint(x, y), true, "PopupMenu");
    if (id && owner)
        DialogOf(owner)->Notify(id, 0);
}

void ShowErrorMessageBox(const char* text, const char* caption)
{
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(caption ? caption : ""),
                    QString::fromLatin1(text ? text : ""), QMessageBox::Ok);
    box.exec();
}

void OpenDocument(const char* name)
{
    TryOpenDocument(name);
}

bool TryOpenDocument(const char* name)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::current().absoluteFilePath(QFile::decodeName(name))));
}

bool GetDocumentsFolder(char* path, int capacity)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    QByteArray native = QFile::encodeName(folder);
    if (capacity <= 0)
        return false;
    path[0] = '\0';
    if (native.size() >= capacity)
        return false;
    memcpy(path, native.constData(), size_t(native.size()) + 1);
    return true;
}

namespace {

// Qt reads file names as UTF-8 and leaves a name that is not valid UTF-8 out
// of its listings, so the dialog cannot show such a file; typed in its
// Latin-1 reading, the form the log shows paths in, it is still found. Each
// part of the path is looked up as UTF-8 first, then as Latin-1.
QByteArray NativePath(const QString& path)
{
    QByteArray native;
    struct stat info;
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        QByteArray utf8 = native + '/' + QFile::encodeName(part);
        QByteArray latin1Part = part.toLatin1();
        QByteArray latin1 = native + '/' + latin1Part;
        bool isLatin1 = QString::fromLatin1(latin1Part) == part;
        if (lstat(utf8.constData(), &info) != 0 && isLatin1 && lstat(latin1.constData(), &info) == 0)
            native = latin1;
        else
            native = utf8;
    }
    return native;
}

// A file dialog's answer into the caller's buffer: 1, or 0 with
// FNERR_BUFFERTOOSMALL when it does not fit.
int ReturnChosenPath(const QByteArray& chosen, char* path, int capacity)
{
    if (chosen.size() > capacity - 1) {
        lastFileDialogError = FNERR_BUFFERTOOSMALL;
        return 0;
    }
    CopyOut(chosen, path, capacity);
    return 1;
}

// In AnyFile mode a typed name that the list cannot show reaches accept(),
// which then asks for an existing file, as ExistingFile mode does.
class OpenFileDialog : public QFileDialog {
public:
    explicit OpenFileDialog(QWidget* parent)
        : QFileDialog(parent)
    {
    }
    QByteArray chosen;  // the file system's own bytes, so the file opens under this very name

protected:
    void accept() override
    {
        QStringList files = selectedFiles();
        if (files.isEmpty())
            return;
        QFileInfo typed(files.first());
        if (typed.isDir()) {
            QFileDialog::accept();  // opens the folder
            return;
        }
        chosen = NativePath(files.first());
        struct stat info;
        if (stat(chosen.constData(), &info) == 0 && !S_ISDIR(info.st_mode))
            QDialog::accept();
        else
            QMessageBox::warning(
                this, windowTitle(),
                tr("%1\nFile not found.\nPlease verify the correct file name was given.").arg(typed.fileName()));
    }
};

}  // namespace

int GetOpenFileName(HWND owner, const char* filterName, char* path, int capacity)
{
    lastFileDialogError = 0;
    if (!path || capacity <= 0)
        return 0;
    // "*.*" means every file; on Linux it would hide names without a dot.
    QString pattern = QString::fromLatin1(path);
    // A folder before the pattern is where the dialog starts.
    QString folder;
    if (qsizetype slash = pattern.lastIndexOf(u'/'); slash >= 0) {
        folder = QFile::decodeName(QByteArray(path, int(slash)));
        pattern = pattern.mid(slash + 1);
    }
    if (pattern == QStringLiteral("*.*"))
        pattern = QStringLiteral("*");
    pattern.replace(u';', u' ');
    OpenFileDialog dialog(DialogOf(owner));
    dialog.setObjectName(QStringLiteral("OpenFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(filterName ? filterName : ""), pattern));
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    dialog.selectFile(pattern);
    if (dialog.exec() != QDialog::Accepted || dialog.chosen.isEmpty())
        return 0;
    return ReturnChosenPath(dialog.chosen, path, capacity);
}

int GetSaveFileName(HWND owner, const char* filterName, const char* pattern, char* path, int capacity)
{
    lastFileDialogError = 0;
    if (!path || capacity <= 0 || !pattern)
        return 0;
    QFileDialog dialog(DialogOf(owner));
    dialog.setObjectName(QStringLiteral("SaveFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QString filter = QString::fromLatin1(pattern);
    dialog.setNameFilter(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(filterName ? filterName : ""), filter));
    dialog.setDefaultSuffix(filter.section(u'.', -1));
    dialog.selectFile(QString::fromLatin1(path));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return 0;
    return ReturnChosenPath(NativePath(dialog.selectedFiles().first()), path, capacity);
}

unsigned CommDlgExtendedError()
{
    return lastFileDialogError;
}

// Dialogs built from templates over Qt widgets, and their menus.
#include "ui/dialog_window.h"

#include <cstdio>

#include <QAccessibleWidget>
#include <QApplication>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTableWidget>
#include <QWheelEvent>

#include "ui/ids.h"
#include "ui/placement.h"

void PopupMenu::Append(int id, const char* text)
{
    if (count >= MENU_ITEM_CAPACITY)
        return;
    Item& item = items[count++];
    item.id = id;
    snprintf(item.text, sizeof item.text, "%s", id && text ? text : "");
}

int PopupMenu::ItemId(int position) const
{
    return position >= 0 && position < count ? items[position].id : -1;
}

const char* PopupMenu::ItemText(int position) const
{
    return position >= 0 && position < count ? items[position].text : nullptr;
}

int PopupMenu::Run(QWidget* parent, QPoint position, bool upward, const char* objectName) const
{
    QMenu qmenu(parent);
    qmenu.setObjectName(QString::fromLatin1(objectName));
    for (int i = 0; i < count; ++i) {
        const Item& item = items[i];
        if (item.id == 0) {
            qmenu.addSeparator();
            continue;
        }
        QAction* action = qmenu.addAction(QString::fromLatin1(item.text));
        action->setData(item.id);
    }
    if (upward)
        position.ry() -= qmenu.sizeHint().height();
    QAction* chosen = qmenu.exec(position);
    return chosen ? chosen->data().toInt() : 0;
}

FieldValidator::FieldValidator(bool uppercase, QObject* parent)
    : QValidator(parent)
    , limit(0)
    , uppercase(uppercase)
{
}

QValidator::State FieldValidator::validate(QString& input, int&) const
{
    for (QChar& c : input) {
        // The program reads fields as Latin-1: a character beyond it would be sent as '?'.
        if (c.unicode() > 0xFF)
            return Invalid;
        if (uppercase && c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    }
    return limit > 0 && input.size() > limit ? Invalid : Acceptable;
}

EditField::EditField(DialogWindow* dialog, int id)
    : QLineEdit(dialog)
    , dialog(dialog)
    , id(id)
{
}

void EditField::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    dialog->Notify(id, EN_SETFOCUS);
}

void EditField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    dialog->Notify(id, EN_KILLFOCUS);
}

namespace {

// Win32 takes the average width of the 52 letters, rounded.
int AverageCharWidth(const QFontMetrics& metrics)
{
    int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return (width / 26 + 1) / 2;
}

// Qt gives the radio-button role only to auto-exclusive buttons and would
// present a plain one to screen readers as a check box. Acting on it through
// the accessibility tree is a click: the program sets the check, as it does
// for a mouse click.
class PlainRadioButtonAccessible : public QAccessibleWidget {
public:
    explicit PlainRadioButtonAccessible(PlainRadioButton* radio)
        : QAccessibleWidget(radio, QAccessible::RadioButton)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = Button()->isChecked();
        return state;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Accelerator)
            return QKeySequence::mnemonic(Button()->text()).toString(QKeySequence::NativeText);
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (widget()->isEnabled())
            names << toggleAction();
        return names << QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override
    {
        if (action == toggleAction() || action == pressAction()) {
            if (widget()->isEnabled())
                Button()->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* CreatePlainRadioButtonAccessible(const QString&, QObject* object)
{
    auto* radio = dynamic_cast<PlainRadioButton*>(object);
    return radio ? new PlainRadioButtonAccessible(radio) : nullptr;
}

bool TakesTabStop(ControlKind kind)
{
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultButton:
    case ControlKind::RadioButton:
    case ControlKind::CheckBox:
    case ControlKind::Edit:
    case ControlKind::NumberField:
    case ControlKind::ListBox:
    case ControlKind::ReadOnlyText:
    case ControlKind::Table:
        return true;
    default:
        return false;
    }
}

QChartView* CreateChart(const QString& title, QWidget* parent)
{
    auto* view = new QChartView(parent);
    // Nothing in a chart answers keys: it is no tab stop.
    view->setFocusPolicy(Qt::NoFocus);
    view->viewport()->setFocusPolicy(Qt::NoFocus);
    view->setRenderHint(QPainter::Antialiasing);
    QChart* chart = view->chart();
    chart->setTitle(title);
    chart->setTitleFont(parent->font());
    chart->legend()->hide();
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(2, 2, 2, 2));
    return view;
}

}  // namespace

QString StripMnemonic(const QString& caption)
{
    QString stripped;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i;
        stripped += caption[i];
    }
    return stripped;
}

QIcon ProgramIcon()
{
    // The resources live in a static library: nothing links them in unless
    // they are asked for by name.
    static bool resourcesLoaded = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)resourcesLoaded;
    QIcon icon;
    for (int size : {16, 32, 48, 64, 256})
        icon.addFile(QStringLiteral(":/icons/quarnel-%1.png").arg(size), QSize(size, size));
    return icon;
}

DialogWindow::DialogWindow(const DialogTemplate& dialogTemplate, DialogWindow* owner, DLGPROC proc)
    : QWidget(owner, owner ? Qt::Dialog : Qt::Window)
    , dialogTemplate(dialogTemplate)
    , proc(proc)
    , items {}
    , unpainted {}
    , hidden {}
    , systemMenu {}
    , scrollBars {}
    , panelShown(false)
    , loop(nullptr)
    , ended(false)
    , destroyed(false)
    , result(0)
{
    Qt::WindowFlags flags = windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint;
    flags &= ~(Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
    if (dialogTemplate.minimizable)
        flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);
    setObjectName(QString::fromLatin1(dialogTemplate.name));
    setWindowTitle(QString::fromLatin1(dialogTemplate.title));
    setAccessibleName(windowTitle());

    QFontMetrics metrics(font());
    baseX = AverageCharWidth(metrics);
    baseY = metrics.height();
    setFixedSize(PixelsX(dialogTemplate.width), PixelsY(dialogTemplate.height));

    QWidget* previousTabStop = nullptr;
    for (int i = 0; i < dialogTemplate.controlCount; ++i) {
        const ControlTemplate& control = dialogTemplate.controls[i];
        QWidget* widget = CreateControl(control);
        items[i] = widget;
        widget->setObjectName(QString::fromLatin1(control.name));
        widget->setAccessibleName(control.accessibleName ? QString::fromLatin1(control.accessibleName)
                                                         : StripMnemonic(QString::fromLatin1(control.caption)));
        widget->setGeometry(PixelsX(control.x), PixelsY(control.y), PixelsX(control.w), PixelsY(control.h));
        if (TakesTabStop(control.kind)) {
            if (previousTabStop)
                QWidget::setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        }
        if (InPanel(i))
            widget->hide();
    }
    // Frames go behind what they frame; outer ones behind inner ones.
    for (int i = dialogTemplate.controlCount - 1; i >= 0; --i)
        if (dialogTemplate.controls[i].kind == ControlKind::GroupBox)
            items[i]->lower();
    for (int i = 0; i < dialogTemplate.controlCount; ++i)
        if (dialogTemplate.controls[i].buddy)
            static_cast<QLabel*>(items[i])->setBuddy(Item(dialogTemplate.controls[i].buddy));

    if (dialogTemplate.minimizable)
        systemMenu.Append(int(SC_MINIMIZE), "Mi&nimize");
    systemMenu.Append(int(SC_CLOSE), "&Close\tAlt+F4");

    // With a window manager, Alt+F4 never reaches the program: the manager
    // closes the window (closeEvent). Without one, this stands in for it.
    auto* closeShortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    connect(closeShortcut, &QShortcut::activated, this, [this] { Dispatch(WM_CLOSE, 0, 0); });
    auto* menuShortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(menuShortcut, &QShortcut::activated, this, [this] { ShowSystemMenu(mapToGlobal(QPoint(0, 0))); });

    FitContent();
    if (owner) {
        move(owner->mapToGlobal(QPoint(0, 0)));
    } else {
        QScreen* screen = this->screen();
        if (screen)
            move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
        SubscribeToPowerEvents();
    }
}

DialogWindow::~DialogWindow()
{
    // The controls go first, while the dialog is whole: nothing they do on
    // the way out reaches the procedure any more.
    destroyed = true;
    for (int i = 0; i < dialogTemplate.controlCount; ++i)
        delete items[i];
}

QWidget* DialogWindow::CreateControl(const ControlTemplate& control)
{
    QString caption = QString::fromLatin1(control.caption);
    int id = control.id;
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultButton: {
        auto* button = new QPushButton(caption, this);
        button->setAutoDefault(true);
        button->setDefault(control.kind == ControlKind::DefaultButton);
        connect(button, &QPushButton::clicked, this, [this, id] { Notify(id, BN_CLICKED); });
        return button;
    }
    case ControlKind::RadioButton: {
        static bool accessibleInstalled = (QAccessible::installFactory(CreatePlainRadioButtonAccessible), true);
        (void)accessibleInstalled;
        // The caption comes once the button is whole: its first text change
        // makes its accessible interface, which the constructor would make
        // for a QRadioButton.
        auto* radio = new PlainRadioButton(this);
        radio->setText(caption);
        radio->setAutoExclusive(false);
        connect(radio, &QRadioButton::clicked, this, [this, id] { Notify(id, BN_CLICKED); });
        return radio;
    }
    case ControlKind::CheckBox: {
        auto* check = new QCheckBox(caption, this);
        connect(check, &QCheckBox::clicked, this, [this, id] { Notify(id, BN_CLICKED); });
        return check;
    }
    case ControlKind::Edit:
    case ControlKind::NumberField:
    case ControlKind::ReadOnly:
    case ControlKind::ReadOnlyRight: {
        auto* edit = new EditField(this, id);
        edit->setValidator(new FieldValidator(control.uppercase, edit));
        bool readOnly = control.kind == ControlKind::ReadOnly || control.kind == ControlKind::ReadOnlyRight;
        bool right = control.kind == ControlKind::NumberField || control.kind == ControlKind::ReadOnlyRight;
        edit->setReadOnly(readOnly);
        edit->setFocusPolicy(readOnly ? Qt::ClickFocus : Qt::StrongFocus);
        edit->setAlignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        if (readOnly) {
            QPalette palette = edit->palette();
            palette.setColor(QPalette::Base, palette.color(QPalette::Window));
            edit->setPalette(palette);
        }
        connect(edit, &QLineEdit::textChanged, this, [this, id] { Notify(id, EN_CHANGE); });
        connect(edit, &QLineEdit::editingFinished, this, [this, id] { Notify(id, EN_UPDATE); });
        return edit;
    }
    case ControlKind::Log:
    case ControlKind::ReadOnlyText: {
        bool log = control.kind == ControlKind::Log;
        auto* text = new LogView(this);
        text->setReadOnly(true);
        // The pane grows by appends; an undo record of each would only cost.
        text->setUndoRedoEnabled(false);
        text->setFocusPolicy(log ? Qt::ClickFocus : Qt::StrongFocus);
        if (!log)
            text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        text->setTabChangesFocus(true);
        text->setLineWrapMode(log ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
        // The read-only texts wrap, anywhere if a word is too long: nothing
        // in them hides beyond the right edge.
        if (!log)
            text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        text->setHorizontalScrollBarPolicy(log ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        text->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        // Opaque, so that the repaint after an append (a new line and the
        // scroll bars) stays inside the pane: the frames beneath it are not
        // painted again, which would cost several times the append itself.
        text->setAutoFillBackground(true);
        text->verticalScrollBar()->setAutoFillBackground(true);
        text->horizontalScrollBar()->setAutoFillBackground(true);
        return text;
    }
    case ControlKind::ListBox: {
        auto* list = new QListWidget(this);
        list->setSortingEnabled(false);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setFocusPolicy(Qt::StrongFocus);
        connect(list, &QListWidget::itemSelectionChanged, this, [this, id] { Notify(id, LBN_SELCHANGE); });
        connect(list, &QListWidget::itemDoubleClicked, this, [this, id] { Notify(id, LBN_DBLCLK); });
        return list;
    }
    case ControlKind::Label:
    case ControlKind::LabelRight: {
        auto* label = new QLabel(caption, this);
        label->setAlignment((control.kind == ControlKind::LabelRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        return label;
    }
    case ControlKind::GroupBox: {
        auto* group = new QGroupBox(caption, this);
        group->setFocusPolicy(Qt::NoFocus);
        return group;
    }
    case ControlKind::Icon: {
        auto* icon = new QLabel(this);
        icon->setPixmap(ProgramIcon().pixmap(32, 32));
        icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return icon;
    }
    case ControlKind::Chart:
        return CreateChart(caption, this);
    case ControlKind::Table: {
        auto* table = new QTableWidget(this);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setFocusPolicy(Qt::StrongFocus);
        // Tab leaves the table, as it leaves every other control; the arrows
        // move between its rows.
        table->setTabKeyNavigation(false);
        table->setWordWrap(false);
        table->verticalHeader()->hide();
        table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
        table->horizontalHeader()->setStretchLastSection(true);
        table->horizontalHeader()->setHighlightSections(false);
        connect(table, &QTableWidget::itemSelectionChanged, this, [this, id] { Notify(id, LBN_SELCHANGE); });
        return table;
    }
    }
    return new QWidget(this);
}

void DialogWindow::SubscribeToPowerEvents()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                    SLOT(prepareForSleep(bool)));
}

void DialogWindow::prepareForSleep(bool sleeping)
{
    Dispatch(WM_POWERBROADCAST, sleeping ? PBT_APMSUSPEND : PBT_APMRESUMESUSPEND, 0);
}

int DialogWindow::PixelsX(int units) const
{
    return (units * baseX + 2) / 4;
}

int DialogWindow::PixelsY(int units) const
{
    return (units * baseY + 4) / 8;
}

INT_PTR DialogWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (destroyed)
        return FALSE;
    INT_PTR processed = proc(HandleOf(this), message, wParam, lParam);
    if (message == WM_SYSCOMMAND && !processed)
        DefaultSystemCommand(wParam);
    return processed;
}

void DialogWindow::DefaultSystemCommand(WPARAM command)
{
    switch (command & 0xFFF0) {
    case SC_CLOSE:
        Dispatch(WM_CLOSE, 0, 0);
        break;
    case SC_MINIMIZE:
        showMinimized();
        break;
    default:
        break;
    }
}

void DialogWindow::Notify(int id, unsigned code)
{
    Dispatch(WM_COMMAND, MAKEWPARAM(unsigned(id), code), 0);
}

INT_PTR DialogWindow::RunModal()
{
    if (!ended) {
        QEventLoop modalLoop;
        loop = &modalLoop;
        modalLoop.exec(QEventLoop::DialogExec);
        loop = nullptr;
    }
    return result;
}

void DialogWindow::End(INT_PTR value)
{
    result = value;
    if (ended)
        return;
    ended = true;
    hide();
    if (loop)
        loop->quit();
}

void DialogWindow::MarkUnpainted(int id)
{
    int index = ItemIndex(id);
    if (index >= 0)
        unpainted[index] = true;
}

// Like UpdateWindow: a control that already shows its text is not painted.
void DialogWindow::RepaintItem(int id)
{
    int index = ItemIndex(id);
    if (index < 0 || !unpainted[index])
        return;
    unpainted[index] = false;
    items[index]->repaint();
}

QWidget* DialogWindow::Item(int id) const
{
    int index = ItemIndex(id);
    return index < 0 ? nullptr : items[index];
}

bool DialogWindow::InPanel(int index) const
{
    return dialogTemplate.panelWidth > 0 && dialogTemplate.controls[index].x >= dialogTemplate.width;
}

void DialogWindow::ShowPanel(bool show)
{
    if (dialogTemplate.panelWidth == 0 || show == panelShown)
        return;
    panelShown = show;
    QWidget* lastTabStopOutside = nullptr;
    bool focusInside = false;
    for (int i = 0; i < dialogTemplate.controlCount; ++i) {
        if (InPanel(i))
            focusInside = focusInside || items[i]->hasFocus();
        else if (TakesTabStop(dialogTemplate.controls[i].kind))
            lastTabStopOutside = items[i];
    }
    if (focusInside && lastTabStopOutside)
        lastTabStopOutside->setFocus(Qt::OtherFocusReason);
    QRect frame = frameGeometry();
    QSize frameExtra = frame.size() - size();
    FitContent();
    // The window widens to its right: near the screen's edge the panel would
    // run off it, so the window moves back inside the available area. The
    // controls keep their places inside it.
    if (show)
        MoveInsideArea(frame.topLeft(), frameExtra);
    for (int i = 0; i < dialogTemplate.controlCount; ++i)
        if (InPanel(i))
            items[i]->setVisible(show && !hidden[i]);
}

bool DialogWindow::FitContent()
{
    int panel = panelShown ? dialogTemplate.panelWidth : 0;
    QSize content(PixelsX(dialogTemplate.width + panel), PixelsY(dialogTemplate.height));
    QSize limit = content;
    if (QScreen* screen = this->screen()) {
        limit = screen->availableGeometry().size() - (frameGeometry().size() - size());
        // At a fractional scale the area and the frame come rounded, each
        // up to half a pixel the wrong way: one pixel less keeps the frame
        // inside the area.
        qreal scale = screen->devicePixelRatio();
        if (scale != qreal(int(scale)))
            limit -= QSize(1, 1);
    }
    int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    ClientLayout layout = LayOutClient(content.width(), content.height(), limit.width(), limit.height(), extent);
    viewSize = QSize(layout.viewWidth, layout.viewHeight);
    bool resized = size() != QSize(layout.width, layout.height);
    if (resized)
        setFixedSize(layout.width, layout.height);
    if (!scrollBars[0]) {
        if (!layout.horizontal && !layout.vertical)
            return resized;
        for (int axis = 0; axis < 2; ++axis) {
            auto* bar = new QScrollBar(axis ? Qt::Vertical : Qt::Horizontal, this);
            bar->setObjectName(QStringLiteral("ScrollBar%1").arg(axis));
            bar->setFocusPolicy(Qt::NoFocus);
            bar->setSingleStep(baseY);
            connect(bar, &QScrollBar::valueChanged, this, [this] { ScrollContent(); });
            scrollBars[axis] = bar;
        }
        // Tab reaches every control: the one that takes the focus scrolls
        // into view.
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { ScrollToFocus(now); });
    }
    QScrollBar* horizontal = scrollBars[0];
    horizontal->setGeometry(0, layout.viewHeight, layout.viewWidth, extent);
    horizontal->setRange(0, layout.horizontal ? content.width() - layout.viewWidth : 0);
    horizontal->setPageStep(layout.viewWidth);
    horizontal->setVisible(layout.horizontal);
    QScrollBar* vertical = scrollBars[1];
    vertical->setGeometry(layout.viewWidth, 0, extent, layout.viewHeight);
    vertical->setRange(0, layout.vertical ? content.height() - layout.viewHeight : 0);
    vertical->setPageStep(layout.viewHeight);
    vertical->setVisible(layout.vertical);
    ScrollContent();
    if (QWidget* focus = focusWidget())
        ScrollToFocus(focus);
    return resized;
}

void DialogWindow::ScrollContent()
{
    // The controls go first when the dialog is freed.
    if (destroyed)
        return;
    int left = scrollBars[0]->value();
    int top = scrollBars[1]->value();
    for (int i = 0; i < dialogTemplate.controlCount; ++i) {
        const ControlTemplate& control = dialogTemplate.controls[i];
        items[i]->move(PixelsX(control.x) - left, PixelsY(control.y) - top);
    }
}

void DialogWindow::ScrollToFocus(QWidget* widget)
{
    if (destroyed || !scrollBars[0] || !widget || widget == this || widget->window() != this)
        return;
    QWidget* item = widget;
    while (item->parentWidget() != this)
        item = item->parentWidget();
    if (item == scrollBars[0] || item == scrollBars[1])
        return;
    QScrollBar* horizontal = scrollBars[0];
    QScrollBar* vertical = scrollBars[1];
    // Where the control lies in the content, whatever is scrolled now.
    QRect place = item->geometry().translated(horizontal->value(), vertical->value());
    horizontal->setValue(ScrollToShow(horizontal->value(), viewSize.width(), horizontal->maximum() + viewSize.width(),
                                      place.x(), place.width()));
    vertical->setValue(ScrollToShow(vertical->value(), viewSize.height(), vertical->maximum() + viewSize.height(),
                                    place.y(), place.height()));
}

void DialogWindow::MoveInsideArea(QPoint frameTopLeft, QSize frameExtra)
{
    QScreen* screen = this->screen();
    if (!screen)
        return;
    QRect area = screen->availableGeometry();
    RECT window {frameTopLeft.x(), frameTopLeft.y(), frameTopLeft.x() + width() + frameExtra.width(),
                 frameTopLeft.y() + height() + frameExtra.height()};
    RECT fitted = FitWindowInArea(window, {area.left(), area.top(), area.right() + 1, area.bottom() + 1});
    if (fitted.left != window.left || fitted.top != window.top)
        move(fitted.left, fitted.top);
}

void DialogWindow::ShowItem(int id, bool show)
{
    int index = ItemIndex(id);
    if (index < 0)
        return;
    hidden[index] = !show;
    if (!show && items[index]->hasFocus())
        focusNextChild();
    items[index]->setVisible(show && (!InPanel(index) || panelShown));
}

void DialogWindow::AddAccelerator(int key, int id)
{
    auto* shortcut = new QShortcut(QKeySequence(key), this);
    connect(shortcut, &QShortcut::activated, this, [this, id] { Notify(id, 1); });
}

int DialogWindow::ItemIndex(int id) const
{
    for (int i = 0; i < dialogTemplate.controlCount; ++i)
        if (dialogTemplate.controls[i].id == id)
            return i;
    return -1;
}

const ControlTemplate* DialogWindow::ItemTemplate(int id) const
{
    for (int i = 0; i < dialogTemplate.controlCount; ++i)
        if (dialogTemplate.controls[i].id == id)
            return &dialogTemplate.controls[i];
    return nullptr;
}

void DialogWindow::Open(LPARAM param)
{
    // Without a focus request the window itself holds the focus, so Qt does
    // not hand it to the first control when the window becomes active.
    if (Dispatch(WM_INITDIALOG, 0, param)) {
        QWidget* first = nullptr;
        for (int i = 0; i < dialogTemplate.controlCount && !first; ++i)
            if (TakesTabStop(dialogTemplate.controls[i].kind) && items[i]->isEnabled())
                first = items[i];
        if (first)
            first->setFocus(Qt::OtherFocusReason);
    } else {
        setFocus(Qt::OtherFocusReason);
    }
    if (destroyed || ended)
        return;
    show();
    activateWindow();
}

void DialogWindow::ShowSystemMenu(QPoint position)
{
    int id = systemMenu.Run(this, position, false, "SystemMenu");
    if (id)
        Dispatch(WM_SYSCOMMAND, WPARAM(unsigned(id)), 0);
}

bool DialogWindow::event(QEvent* event)
{
    if (event->type() == QEvent::Move) {
        // The window manager's frame is known once it has framed the
        // window: a frame too large for the available area shrinks the
        // window into it.
        QRect frame = frameGeometry();
        QSize frameExtra = frame.size() - size();
        if (FitContent())
            MoveInsideArea(frame.topLeft(), frameExtra);
    }
    if (event->type() != PostedMessage::TYPE)
        return QWidget::event(event);
    auto* posted = static_cast<PostedMessage*>(event);
    Dispatch(posted->message, posted->wParam, posted->lParam);
    return true;
}

void DialogWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    Dispatch(WM_CLOSE, 0, 0);
}

void DialogWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        // As in Win32 dialogs, Escape is the Cancel command.
        event->accept();
        Notify(IDCANCEL, BN_CLICKED);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        for (int i = 0; i < dialogTemplate.controlCount; ++i)
            if (dialogTemplate.controls[i].kind == ControlKind::DefaultButton) {
                if (items[i]->isEnabled())
                    static_cast<QPushButton*>(items[i])->click();
                return;
            }
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    ShowSystemMenu(event->globalPos());
}

void DialogWindow::wheelEvent(QWheelEvent* event)
{
    // The wheel over the window scrolls it, over the controls too where
    // they do not take it themselves.
    for (int axis : {1, 0})
        if (scrollBars[axis] && scrollBars[axis]->isVisible()) {
            QCoreApplication::sendEvent(scrollBars[axis], event);
            return;
        }
    QWidget::wheelEvent(event);
}

#include "services/widgets/FormDressing.h"

#include "platform/core/Environment.h"
#include "platform/core/MessageBoxService.h"
#include "platform/help/HelpWindow.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/Twips.h"
#include "services/DbGateway.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSet>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QtMath>

#include <cmath>

namespace {

QSize g_screenSize;

const QStringList &simplifiedStandIns()
{
    static const QStringList names{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Serif CJK SC"),
                                   QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("SimSun"),
                                   QStringLiteral("Microsoft YaHei")};
    return names;
}

const QStringList &traditionalStandIns()
{
    static const QStringList names{QStringLiteral("Noto Sans CJK TC"), QStringLiteral("Noto Serif CJK TC"),
                                   QStringLiteral("PMingLiU"), QStringLiteral("MingLiU"),
                                   QStringLiteral("Microsoft JhengHei")};
    return names;
}

bool sameSize(double a, double b)
{
    return std::abs(a - b) < 0.001;
}

// Outside Traditional Chinese systems the classic 8.25 and 9.75 point sizes
// read badly in the substitute font, so they become 9.
void applySizeRule(QFont &f, bool notTraditional)
{
    if (notTraditional && (sameSize(f.pointSizeF(), 8.25) || sameSize(f.pointSizeF(), 9.75)))
        f.setPointSizeF(9);
}

template <typename Get, typename Set>
void passText(Get get, Set set)
{
    const QString before = get();
    const QString after = DbGateway::ChangeStrCode(before);
    if (after != before)
        set(after);
}

void passActions(QWidget *w, bool withToolTips)
{
    for (QAction *a : w->actions()) {
        passText([a] { return a->text(); }, [a](const QString &t) { a->setText(t); });
        if (withToolTips)
            passText([a] { return a->toolTip(); }, [a](const QString &t) { a->setToolTip(t); });
    }
}

void passToolTip(QWidget *c)
{
    passText([c] { return c->toolTip(); }, [c](const QString &t) { c->setToolTip(t); });
}

void passCaption(QWidget *c)
{
    if (auto *l = qobject_cast<QLabel *>(c))
        passText([l] { return l->text(); }, [l](const QString &t) { l->setText(t); });
    else if (auto *b = qobject_cast<QAbstractButton *>(c))
        passText([b] { return b->text(); }, [b](const QString &t) { b->setText(t); });
    else if (auto *g = qobject_cast<QGroupBox *>(c))
        passText([g] { return g->title(); }, [g](const QString &t) { g->setTitle(t); });
    else
        passText([c] { return c->windowTitle(); }, [c](const QString &t) { c->setWindowTitle(t); });
}

bool isCaptionKind(const QString &kind)
{
    static const QStringList kinds{
        QStringLiteral("LABEL"),    QStringLiteral("FRAME"),         QStringLiteral("OPTIONBUTTON"),
        QStringLiteral("CHECKBOX"), QStringLiteral("COMMANDBUTTON"), QStringLiteral("XPCOMMAND"),
        QStringLiteral("XPFRAME"),  QStringLiteral("XPRADIOBUTTON"), QStringLiteral("XPCHECKBOX"),
        QStringLiteral("SSTAB"),    QStringLiteral("TOGGLEBUTTON")};
    return kinds.contains(kind);
}

// Texts through the hook and the kind's font, as the dressing table says.
void dressControl(QWidget *c, const QString &kind, const LocaleFont &locale, bool notTraditional)
{
    if (kind == QLatin1String("MENU")) {
        passActions(c, false);
    } else if (kind == QLatin1String("TOOLBAR")) {
        passActions(c, true);
    } else if (isCaptionKind(kind)) {
        passCaption(c);
        passToolTip(c);
        if (auto *tabs = qobject_cast<QTabWidget *>(c)) {
            for (int i = 0; i < tabs->count(); ++i)
                passText([tabs, i] { return tabs->tabText(i); },
                         [tabs, i](const QString &t) { tabs->setTabText(i, t); });
        }
    } else if (kind == QLatin1String("ARESBUTTON")) {
        auto *b = qobject_cast<PictureButton *>(c);
        if (b) {
            passText([b] { return b->text(); }, [b](const QString &t) { b->setText(t); });
            passText([b] { return b->toolTipString(); }, [b](const QString &t) { b->setToolTipString(t); });
            // The picture button's two fonts are 9 points in every locale.
            QFont text = b->textFont();
            applyLocaleFont(text, locale);
            text.setPointSizeF(9);
            b->setTextFont(text);
            QFont tip = b->toolTipFont();
            applyLocaleFont(tip, locale);
            tip.setPointSizeF(9);
            b->setToolTipFont(tip);
        }
        return;
    } else if (kind == QLatin1String("TEXTBOX")) {
        if (auto *e = qobject_cast<QLineEdit *>(c))
            passText([e] { return e->text(); }, [e](const QString &t) { e->setText(t); });
        else if (auto *p = qobject_cast<QPlainTextEdit *>(c))
            passText([p] { return p->toPlainText(); }, [p](const QString &t) { p->setPlainText(t); });
        else if (auto *x = qobject_cast<QTextEdit *>(c))
            passText([x] { return x->toPlainText(); }, [x](const QString &t) { x->setPlainText(t); });
        passToolTip(c);
    } else if (kind == QLatin1String("LISTVIEW")) {
        if (auto *v = qobject_cast<QAbstractItemView *>(c); v && v->model()) {
            QAbstractItemModel *m = v->model();
            for (int i = 0; i < m->columnCount(); ++i)
                passText([m, i] { return m->headerData(i, Qt::Horizontal).toString(); },
                         [m, i](const QString &t) { m->setHeaderData(i, Qt::Horizontal, t); });
        }
    } else if (kind == QLatin1String("DTPICKER")) {
        if (auto *d = qobject_cast<QDateTimeEdit *>(c))
            passText([d] { return d->displayFormat(); }, [d](const QString &t) { d->setDisplayFormat(t); });
    } else if (kind == QLatin1String("VSFLEXGRID")) {
        passToolTip(c);
    }

    // Every control takes the locale font's name; the kinds of the font rows
    // also get the size rule (a list view keeps its size).
    QFont f = c->font();
    applyLocaleFont(f, locale);
    if (isCaptionKind(kind) || kind == QLatin1String("TREEVIEW"))
        applySizeRule(f, notTraditional);
    c->setFont(f);
}

// ---------------------------------------------------------------- geometry

// Control geometry in twips, as the scaling rules are written in twips.
struct Twips
{
    double left, top, width, height;
};

Twips twipsOf(const QWidget *c)
{
    const QRect g = c->geometry();
    return {double(pixelsToTwips(g.x())), double(pixelsToTwips(g.y())), double(pixelsToTwips(g.width())),
            double(pixelsToTwips(g.height()))};
}

int toPixels(double twips)
{
    return int(std::lround(twips / kTwipsPerPixel));
}

// A lower bound must hold after the conversion to whole pixels too.
int toPixelsAtLeast(double twips, double floorTwips)
{
    return std::max(toPixels(std::max(twips, floorTwips)), int(std::ceil(floorTwips / kTwipsPerPixel)));
}

double scaledLeft(double left, double factor)
{
    return left < 0 ? left : left * factor;
}

void setFontSize(QWidget *c, double size)
{
    QFont f = c->font();
    if (f.pointSizeF() <= 0)
        return;
    f.setPointSizeF(size);
    c->setFont(f);
}

void shrinkFont(QWidget *c, double floor)
{
    const double size = c->font().pointSizeF();
    if (size > 0)
        setFontSize(c, std::max(size - 1, floor));
}

void scaleControl(QWidget *c, const QString &kind, double H, double V, bool flow)
{
    const Twips t = twipsOf(c);
    const QRect g = c->geometry();
    if (kind == QLatin1String("LABEL") || kind == QLatin1String("OPTIONBUTTON")) {
        const double height = c->font().bold() ? t.height : t.height * V;
        c->setGeometry(toPixels(scaledLeft(t.left, H)), toPixels(t.top * V), toPixels(t.width * H),
                       toPixelsAtLeast(height, 200));
        shrinkFont(c, 8);
    } else if (kind == QLatin1String("ARESBUTTON")) {
        const double factor = c->objectName().toUpper() == QLatin1String("ARESBUTTON1") ? V - 0.05 : V - 0.01;
        c->move(toPixels(t.left * H), toPixels(t.top * factor));
    } else if (kind == QLatin1String("TEXTBOX") || kind == QLatin1String("COMBOBOX") ||
               kind == QLatin1String("XPDTPICKER") || kind == QLatin1String("DTPICKER")) {
        c->setGeometry(toPixels(scaledLeft(t.left, H)), toPixels(t.top * V), toPixels(t.width * H),
                       toPixelsAtLeast(t.height * V, 275));
        shrinkFont(c, 8);
    } else if (kind == QLatin1String("CHECKBOX")) {
        c->setGeometry(toPixels(scaledLeft(t.left, H)), toPixels(t.top * V), toPixels(t.width * (H + 0.12)),
                       g.height());
        shrinkFont(c, 1);
    } else if (kind == QLatin1String("COMMANDBUTTON")) {
        const int height = V + 0.17 < 1 ? toPixels(t.height * (V + 0.15)) : g.height();
        c->setGeometry(toPixels(scaledLeft(t.left, H - 0.005)), toPixels(t.top * V), toPixels(t.width * (H + 0.12)),
                       height);
        setFontSize(c, 8);
    } else if (kind == QLatin1String("LINE")) {
        if (flow)
            return;
        // A line scales its end points; its thickness stays.
        const auto *frame = qobject_cast<const QFrame *>(c);
        const bool vertical = frame && frame->frameShape() == QFrame::VLine;
        const int x1 = toPixels(t.left * H), y1 = toPixels(t.top * V);
        if (vertical)
            c->setGeometry(x1, y1, g.width(), toPixels((t.top + t.height) * V) - y1);
        else
            c->setGeometry(x1, y1, toPixels((t.left + t.width) * H) - x1, g.height());
    } else {
        c->setGeometry(toPixels(scaledLeft(t.left, H)), toPixels(t.top * V - 0.01),
                       flow ? g.width() : toPixels(t.width * H), toPixels(t.height * V - 0.01));
    }
}

// Containers whose children are controls of the window in their own right.
bool isTransparent(const QWidget *w)
{
    const QMetaObject *mo = w->metaObject();
    return mo == &QWidget::staticMetaObject || qobject_cast<const QStackedWidget *>(w) ||
           qobject_cast<const QSplitter *>(w) || qobject_cast<const QScrollArea *>(w);
}

bool holdsControls(const QWidget *w)
{
    if (isTransparent(w) || qobject_cast<const QGroupBox *>(w) || qobject_cast<const QToolBar *>(w))
        return true;
    return w->metaObject() == &QFrame::staticMetaObject;
}

void collect(const QWidget *parent, QList<QWidget *> &out)
{
    for (QObject *o : parent->children()) {
        auto *w = qobject_cast<QWidget *>(o);
        if (!w)
            continue;
        if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
            out.append(tabs);
            for (int i = 0; i < tabs->count(); ++i)
                collect(tabs->widget(i), out);
            continue;
        }
        if (auto *scroll = qobject_cast<QScrollArea *>(w)) {
            if (scroll->widget())
                collect(scroll->widget(), out);
            continue;
        }
        const bool menu = qobject_cast<QMenu *>(w) != nullptr;
        if (w->isWindow() && !menu)
            continue; // dialogs and other windows parented here dress themselves
        if (!isTransparent(w))
            out.append(w);
        if (holdsControls(w))
            collect(w, out);
    }
}

QString folderPath(const QString &moduleFolder)
{
    QString p = QDir::fromNativeSeparators(moduleFolder);
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

struct ButtonPictures
{
    const char *name;
    const char *files[4];
};

constexpr ButtonPictures kButtonPictures[] = {
    {"CMD_FIND", {"cmd_Find_norm.bmp", "cmd_Find_dis.bmp", "cmd_Find_Over.bmp", "cmd_Find_Down.bmp"}},
    {"CMD_PREVIEW", {"cmd_Preview_norm.bmp", "cmd_Preview_dis.bmp", "cmd_Preview_Over.bmp", "cmd_Preview_Down.bmp"}},
    {"CMD_PRINT", {"cmd_Print_norm.bmp", "cmd_Print_dis.bmp", "cmd_Print_Over.bmp", "cmd_Print_Down.bmp"}},
    {"CMD_ADD", {"cmd_add_norm.bmp", "cmd_add_dis.bmp", "cmd_add_Over.bmp", "cmd_add_Down.bmp"}},
    {"CMD_EDIT", {"cmd_edit_norm.bmp", "cmd_edit_dis.bmp", "cmd_edit_Over.bmp", "cmd_edit_Down.bmp"}},
    {"CMD_DELETE", {"cmd_delete_norm.bmp", "cmd_delete_dis.bmp", "cmd_delete_Over.bmp", "cmd_delete_Down.bmp"}},
    {"CMD_COPY", {"Cmd_Copy_norm.bmp", "Cmd_Copy_dis.bmp", "Cmd_Copy_Over.bmp", "Cmd_Copy_Down.bmp"}},
    {"CMD_IMPORT", {"cmd_import_norm.bmp", "cmd_import_dis.bmp", "cmd_import_Over.bmp", "cmd_import_Down.bmp"}},
    {"CMD_CHECK", {"cmd_Check_norm.bmp", "cmd_Check_dis.bmp", "cmd_Check_Over.bmp", "cmd_Check_Down.bmp"}},
    {"CMD_RESET", {"Cmd_Reset_norm.bmp", "Cmd_Reset_dis.bmp", "Cmd_Reset_Over.bmp", "Cmd_Reset_Down.bmp"}},
    {"CMD_CLOSE", {"cmd_Close_norm.bmp", "cmd_Close_dis.bmp", "cmd_Close_Over.bmp", "cmd_Close_Down.bmp"}},
    {"CMD_OK", {"cmd_Ok_norm.bmp", "cmd_Ok_dis.bmp", "cmd_Ok_Over.bmp", "cmd_Ok_Down.bmp"}},
    {"CMD_CANCEL", {"cmd_cancel_norm.bmp", "cmd_cancel_dis.bmp", "cmd_cancel_Over.bmp", "cmd_cancel_Down.bmp"}},
    {"CMD_QUIT", {"cmd_Quit_norm.bmp", "cmd_Quit_dis.bmp", "cmd_Quit_Over.bmp", "cmd_Quit_DOwn.bmp"}},
    {"CMD_HELP", {"cmd_help_norm.bmp", "cmd_help_dis.bmp", "cmd_help_Over.bmp", "cmd_help_Down.bmp"}},
    {"CMD_ADDBODY", {"Cmd_AddBody_Norm.bmp", "Cmd_AddBody_Dis.bmp", "Cmd_AddBody_Over.bmp", "Cmd_AddBody_Down.bmp"}},
    {"CMD_EDITBODY",
     {"Cmd_EditBody_Norm.bmp", "Cmd_EditBody_Dis.bmp", "Cmd_EditBody_Over.bmp", "Cmd_EditBody_Down.bmp"}},
    {"CMD_DELBODY", {"Cmd_DelBody_Norm.bmp", "Cmd_DelBody_Dis.bmp", "Cmd_DelBody_Over.bmp", "Cmd_DelBody_Down.bmp"}},
};

bool buttonEnabled(const QWidget *window, const char *name)
{
    const QWidget *b = window->findChild<QWidget *>(QLatin1String(name));
    return b && b->isEnabled();
}

void sendCommand(QWidget *window, const char *letter)
{
    if (auto *dispatcher = dynamic_cast<CommandDispatcher *>(window))
        dispatcher->vcontrol(QString::fromLatin1(letter));
}

void sendTab(QWidget *window)
{
    QWidget *target = window->focusWidget();
    if (!target)
        target = window;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

class HotKeyFilter : public QObject
{
public:
    HotKeyFilter(QWidget *window, bool enterAsTab) : QObject(window), m_window(window), m_enterAsTab(enterAsTab) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool press = event->type() == QEvent::KeyPress;
        if ((!press && event->type() != QEvent::KeyRelease) || !m_window)
            return false;
        auto *w = qobject_cast<QWidget *>(watched);
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!w || key->isAutoRepeat())
            return false;
        // A key pressed in another window (a drop-down's popup that the press
        // closed) is released here; it is that window's key, not the window's.
        if (press) {
            if (w->window() == m_window)
                m_pressedElsewhere.remove(key->key());
            else
                m_pressedElsewhere.insert(key->key());
            return false;
        }
        if (w->window() != m_window || m_pressedElsewhere.remove(key->key()))
            return false;
        int code = windowsKeyCode(*key);
        if (code == 0)
            return false;
        HandleHotKey(m_window, code, m_enterAsTab);
        // Handled once: the release must not reach the window again on its
        // way up through the parents.
        return true;
    }

private:
    QPointer<QWidget> m_window;
    bool m_enterAsTab;
    QSet<int> m_pressedElsewhere;
};

} // namespace

// ---------------------------------------------------------------- fonts and kinds

LocaleFont localeFont()
{
    // The gateway keeps the module-wide locale flag; its hook refreshes it.
    DbGateway::ChangeStrCode(QString());
    if (DbGateway::IsNotTraditionalLocale())
        return {QStringLiteral("冼  "), 134};
    return {QStringLiteral("新细明体"), 136};
}

void applyLocaleFont(QFont &font, const LocaleFont &locale)
{
    QStringList families{locale.name};
    if (locale.charset == 134)
        families += simplifiedStandIns();
    else if (locale.charset == 136)
        families += traditionalStandIns();
    font.setFamilies(families);
}

int fontCharset(const QFont &font)
{
    const QStringList families = font.families();
    if (families.contains(simplifiedStandIns().first()))
        return 134;
    if (families.contains(traditionalStandIns().first()))
        return 136;
    return 0;
}

QString controlKind(const QWidget *c)
{
    const QString named = c->property("controlKind").toString();
    if (!named.isEmpty())
        return named.toUpper();
    if (qobject_cast<const PictureButton *>(c))
        return QStringLiteral("ARESBUTTON");
    if (qobject_cast<const QCheckBox *>(c))
        return QStringLiteral("CHECKBOX");
    if (qobject_cast<const QRadioButton *>(c))
        return QStringLiteral("OPTIONBUTTON");
    if (qobject_cast<const QPushButton *>(c) || qobject_cast<const QToolButton *>(c))
        return QStringLiteral("COMMANDBUTTON");
    if (qobject_cast<const QLabel *>(c))
        return QStringLiteral("LABEL");
    if (qobject_cast<const QDateTimeEdit *>(c))
        return QStringLiteral("DTPICKER");
    if (qobject_cast<const QLineEdit *>(c) || qobject_cast<const QTextEdit *>(c) ||
        qobject_cast<const QPlainTextEdit *>(c) || qobject_cast<const QAbstractSpinBox *>(c))
        return QStringLiteral("TEXTBOX");
    if (qobject_cast<const QComboBox *>(c))
        return QStringLiteral("COMBOBOX");
    if (qobject_cast<const QGroupBox *>(c))
        return QStringLiteral("FRAME");
    if (qobject_cast<const QTabWidget *>(c))
        return QStringLiteral("SSTAB");
    if (qobject_cast<const QTreeView *>(c))
        return QStringLiteral("TREEVIEW");
    if (qobject_cast<const QTableView *>(c))
        return QStringLiteral("VSFLEXGRID");
    if (qobject_cast<const QMenu *>(c) || qobject_cast<const QMenuBar *>(c))
        return QStringLiteral("MENU");
    if (qobject_cast<const QToolBar *>(c))
        return QStringLiteral("TOOLBAR");
    if (c->metaObject() == &QFrame::staticMetaObject) {
        const auto *f = static_cast<const QFrame *>(c);
        const bool line = f->frameShape() == QFrame::HLine || f->frameShape() == QFrame::VLine;
        return line ? QStringLiteral("LINE") : QStringLiteral("FRAME");
    }
    return QString::fromLatin1(c->metaObject()->className()).toUpper();
}

QList<QWidget *> formControls(const QWidget *window)
{
    QList<QWidget *> out;
    if (window)
        collect(window, out);
    return out;
}

QSize screenSize()
{
    if (!g_screenSize.isEmpty())
        return g_screenSize;
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize();
}

void setScreenSize(const QSize &pixels)
{
    g_screenSize = pixels;
}

// ---------------------------------------------------------------- the operations

void DressForm(QWidget *window)
{
    if (!window)
        return;
    const LocaleFont locale = localeFont();
    const bool notTraditional = DbGateway::IsNotTraditionalLocale();
    passText([window] { return window->windowTitle(); }, [window](const QString &t) { window->setWindowTitle(t); });
    for (QWidget *c : formControls(window))
        dressControl(c, controlKind(c), locale, notTraditional);
    FitFormToScreen(window);
}

void FitFormToScreen(QWidget *window)
{
    if (!window || screenSize() != QSize(800, 600))
        return;
    const float screenWidth = float(pixelsToTwips(800));
    const float screenHeight = float(pixelsToTwips(600));
    double H = float(pixelsToTwips(window->width())) / screenWidth > 0.99f ? 0.78 : 1;
    double V = float(pixelsToTwips(window->height())) / screenHeight > 0.9f ? 0.779 : 1;
    if (H == 1 && V == 1)
        return;

    const QString name = window->objectName().toUpper();
    const bool flow = name.endsWith(QLatin1String("_FLOW"));
    const double width = pixelsToTwips(window->width()) * (flow ? H - 0.02 : H);
    double height = pixelsToTwips(window->height());
    if (name.right(2) != QLatin1String("MX")) {
        V -= 0.037;
        height *= V;
    } else {
        height *= V + 0.01;
    }
    window->resize(toPixels(width), toPixels(height));

    for (QWidget *c : formControls(window))
        scaleControl(c, controlKind(c), H, V, flow);
}

QString buttonPictureFolder(const QString &moduleFolder)
{
    return folderPath(moduleFolder) + QStringLiteral("/Picture/Button_Pic/");
}

void SetButtonPictures(QWidget *window, const QString &moduleFolder)
{
    if (!window)
        return;
    const QString folder = buttonPictureFolder(moduleFolder);
    static const char *const properties[4] = {"PictureURL", "PictureDisableURL", "PictureOverURL", "PictureDownURL"};
    for (QWidget *c : formControls(window)) {
        if (!qobject_cast<PictureButton *>(c))
            continue;
        const QString name = c->objectName().toUpper();
        for (const ButtonPictures &entry : kButtonPictures) {
            if (name != QLatin1String(entry.name))
                continue;
            for (int i = 0; i < 4; ++i)
                c->setProperty(properties[i], folder + QLatin1String(entry.files[i]));
            break;
        }
    }
}

void HandleHotKey(QWidget *window, int &keyCode, bool enterAsTab)
{
    const int key = keyCode;
    keyCode = 0;
    QPointer<QWidget> w(window);
    if (!w)
        return;
    // A key is a convenience: whatever goes wrong in the command it starts
    // has been reported by the command itself, and the key is spent anyway.
    try {
        switch (key) {
        case 112:
            sendCommand(w, "H");
            break;
        case 113:
            if (buttonEnabled(w, "Cmd_Add"))
                sendCommand(w, "A");
            break;
        case 114:
            if (buttonEnabled(w, "Cmd_Edit"))
                sendCommand(w, "U");
            break;
        case 115:
            if (buttonEnabled(w, "Cmd_Delete"))
                sendCommand(w, "D");
            break;
        case 116:
            if (buttonEnabled(w, "Cmd_Ok"))
                sendCommand(w, "Y");
            break;
        case 27:
            if (buttonEnabled(w, "cmd_cancel"))
                sendCommand(w, "N");
            break;
        case 117:
            sendCommand(w, "Q");
            break;
        case 118:
            if (buttonEnabled(w, "Cmd_Find"))
                sendCommand(w, "F");
            break;
        case 119:
            if (buttonEnabled(w, "Cmd_Print"))
                sendCommand(w, "P");
            break;
        case 120:
            if (buttonEnabled(w, "Cmd_Preview"))
                sendCommand(w, "V");
            break;
        case 121:
            // F10 approves, and closes what may be closed once approved.
            if (buttonEnabled(w, "cmd_check"))
                sendCommand(w, "C");
            if (w && buttonEnabled(w, "Cmd_Close"))
                sendCommand(w, "O");
            break;
        case 122:
            if (buttonEnabled(w, "cmd_reset"))
                sendCommand(w, "R");
            break;
        case 13:
            if (enterAsTab)
                sendTab(w);
            break;
        default:
            break;
        }
    } catch (...) {
    }
}

int windowsKeyCode(const QKeyEvent &event)
{
    const int key = event.key();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    default:
        return 0;
    }
}

void installHotKeys(QWidget *window, bool enterAsTab)
{
    if (window && qApp)
        qApp->installEventFilter(new HotKeyFilter(window, enterAsTab));
}

QString helpFilePath(const QString &moduleFolder)
{
    return folderPath(moduleFolder) + QStringLiteral("/help/Zolvany.htm");
}

void ShowHelp(QWidget *owner, const QString &topic, const QString &moduleFolder)
{
    const QString book = helpFilePath(moduleFolder);
    if (!DbGateway::FileExists(book)) {
        MessageRequest request;
        request.form = QStringLiteral("PublicFunction");
        request.messageId = QStringLiteral("ShowHelp_1");
        request.text =
            QStringLiteral("帮助文件不存在,请检查") + QDir::toNativeSeparators(book) + QStringLiteral("文件是否存在!");
        request.style = 64;
        request.title = QStringLiteral("    ");
        MessageBoxService::instance().show(request);
        return;
    }
    // A window without a page of its own opens at the contents.
    const QString page = folderPath(moduleFolder) + QStringLiteral("/help/html/") + topic + QStringLiteral(".htm");
    HelpWindow::showPage(owner, DbGateway::FileExists(page) ? page : book);
}

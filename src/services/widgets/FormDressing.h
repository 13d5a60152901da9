#pragma once

#include <QFont>
#include <QList>
#include <QSize>
#include <QString>

class QKeyEvent;
class QWidget;

// The dressing every window of the module gets when it loads: locale fonts,
// the text-code hook on its texts, a fit to small screens, the toolbar's
// pictures, function keys and help. All of it works on any window through
// its controls' kinds and names; nothing here reads the database.

// Fonts for the workstation's locale: the Traditional Chinese font on a
// locale 1028 system, else the Simplified one. The character set decides
// which fonts stand in when the named one is not installed.
struct LocaleFont
{
    QString name;
    int charset = 0; // 134 Simplified Chinese, 136 Traditional Chinese
};

// The locale font for the system locale (and sets IsNotTraditionalLocale).
LocaleFont localeFont();
// Gives font the locale font's name, with stand-ins for its character set.
void applyLocaleFont(QFont &font, const LocaleFont &locale);
// The character set a font was given by applyLocaleFont, 0 for none.
int fontCharset(const QFont &font);

// The kind of a control as the dressing tables name it ("LABEL", "TEXTBOX",
// "ARESBUTTON", "VSFLEXGRID", ...). A widget may name its kind in the
// dynamic property "controlKind"; otherwise its class decides, and an
// unknown class gives its own name in upper case.
QString controlKind(const QWidget *control);
// The controls of a window in creation order, those inside frames and tabs
// included; the inner parts of composite controls are not controls.
QList<QWidget *> formControls(const QWidget *window);

// Screen size in pixels as the dressing sees it; a test sets 800 x 600.
QSize screenSize();
void setScreenSize(const QSize &pixels); // an empty size restores the real screen

// Fonts and texts of every control for the locale, then FitFormToScreen.
void DressForm(QWidget *window);
// On an 800 x 600 screen, scales down a window that nearly fills it.
void FitFormToScreen(QWidget *window);
// The four state pictures of the toolbar's picture buttons, from
// Picture/Button_Pic in the module's folder.
void SetButtonPictures(QWidget *window, const QString &moduleFolder);
// The folder SetButtonPictures takes the pictures from, with a trailing '/'.
QString buttonPictureFolder(const QString &moduleFolder);

// A window whose toolbar commands run through one dispatcher, one letter per
// command. The hot keys send their letters here.
class CommandDispatcher
{
public:
    virtual ~CommandDispatcher() = default;
    virtual void vcontrol(const QString &letter) = 0;

protected:
    CommandDispatcher() = default;
    CommandDispatcher(const CommandDispatcher &) = default;
    CommandDispatcher &operator=(const CommandDispatcher &) = default;
};

// Function keys as toolbar commands: sends the key's command letter to the
// window's dispatcher, if it is one, when the key's button is enabled;
// Enter moves to the next field when enterAsTab. keyCode is a Windows key
// code (112 = F1, 27 = Esc, 13 = Enter) and is set to 0 afterwards.
void HandleHotKey(QWidget *window, int &keyCode, bool enterAsTab);
// The Windows key code of a key event, 0 for keys the module has no use for.
int windowsKeyCode(const QKeyEvent &event);
// Runs HandleHotKey on every key release that reaches window or a control of it.
void installHotKeys(QWidget *window, bool enterAsTab = true);

// Opens the help at the page of topic (a window's name); tells the user when
// the help is not installed.
void ShowHelp(QWidget *owner, const QString &topic, const QString &moduleFolder);
// The help's contents page, whose presence means the help is installed.
QString helpFilePath(const QString &moduleFolder);

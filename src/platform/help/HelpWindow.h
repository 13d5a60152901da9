#pragma once

#include <QUrl>
#include <QWidget>

class QTextBrowser;

// The module's help: HTML pages shown in one help window that stays with the
// window that asked for it. Links between pages work as in a browser.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    // Shows page (a file path) in the help window, creating it when none is
    // open; owner becomes the help window's owner. Returns the window.
    static HelpWindow *showPage(QWidget *owner, const QString &page);
    // The open help window, or nullptr.
    static HelpWindow *current();

    QUrl source() const;
    QString pageTitle() const;
    QString pageText() const;

private:
    explicit HelpWindow(QWidget *owner);
    void open(const QString &page);

    QTextBrowser *m_browser = nullptr;
};

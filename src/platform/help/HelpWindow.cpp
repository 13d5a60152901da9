#include "platform/help/HelpWindow.h"

#include <QPointer>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {
QPointer<HelpWindow> g_window;
}

HelpWindow::HelpWindow(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_browser = new QTextBrowser(this);
    m_browser->setOpenExternalLinks(true);
    layout->addWidget(m_browser);
    resize(720, 560);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] { setWindowTitle(pageTitle()); });
}

HelpWindow *HelpWindow::current()
{
    return g_window.data();
}

HelpWindow *HelpWindow::showPage(QWidget *owner, const QString &page)
{
    // One help window at a time; it follows whichever window asked last, so
    // it closes with that window and stays above it.
    if (g_window && g_window->parentWidget() != owner) {
        g_window->setParent(owner, Qt::Window);
    }
    if (!g_window)
        g_window = new HelpWindow(owner);
    g_window->open(page);
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
    return g_window.data();
}

void HelpWindow::open(const QString &page)
{
    m_browser->setSource(QUrl::fromLocalFile(page), QTextDocument::HtmlResource);
    setWindowTitle(pageTitle());
}

QUrl HelpWindow::source() const
{
    return m_browser->source();
}

QString HelpWindow::pageTitle() const
{
    return m_browser->documentTitle();
}

QString HelpWindow::pageText() const
{
    return m_browser->toPlainText();
}

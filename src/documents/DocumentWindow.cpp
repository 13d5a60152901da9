#include "documents/DocumentWindow.h"

#include "entry/RunContext.h"
#include "services/ErrorReporter.h"

#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

namespace {
QPointer<DocumentWindow> g_windows[3];
}

DocumentWindow *DocumentWindow::instance(const DocumentKind &kind)
{
    return g_windows[kind.index].data();
}

DocumentWindow *DocumentWindow::obtain(const DocumentKind &kind)
{
    if (!g_windows[kind.index])
        g_windows[kind.index] = new DocumentWindow(kind);
    return g_windows[kind.index].data();
}

DocumentWindow::DocumentWindow(const DocumentKind &kind) : QWidget(nullptr), m_kind(kind)
{
    setObjectName(kind.windowName);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("生产领料单(40B)"));
    auto *layout = new QVBoxLayout(this);
    m_heading = new QLabel(kind.heading, this);
    m_heading->setObjectName(QStringLiteral("Label_Title"));
    QFont f = m_heading->font();
    f.setPointSize(f.pointSize() + 8);
    f.setBold(true);
    m_heading->setFont(f);
    m_heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_heading);
    layout->addStretch(1);
    Form_Load();
}

QString DocumentWindow::heading() const
{
    return m_heading->text();
}

void DocumentWindow::Form_Load()
{
    try {
        RunContext::EnsureConnection();
    } catch (...) {
        ErrorReporter::ReportError(objectName(), QStringLiteral("Form_Load"));
    }
}

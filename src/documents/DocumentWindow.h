#pragma once

#include "documents/DocumentKind.h"

#include <QWidget>

class QLabel;

// One document window per kind; each exists at most once in the process.
class DocumentWindow : public QWidget
{
    Q_OBJECT
public:
    // The open window of a kind, or nullptr.
    static DocumentWindow *instance(const DocumentKind &kind);
    // The open window of a kind, built (and loaded) when there is none.
    static DocumentWindow *obtain(const DocumentKind &kind);

    const DocumentKind &kind() const { return m_kind; }
    QString heading() const;

protected:
    explicit DocumentWindow(const DocumentKind &kind);

private:
    void Form_Load();
    const DocumentKind &m_kind;
    QLabel *m_heading = nullptr;
};

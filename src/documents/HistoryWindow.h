#pragma once

#include "services/DocumentHistory.h"

#include <QDialog>
#include <QList>

class QTableWidget;

// A document's history, read-only: when, what, who and on which
// workstation, oldest first. Opened from the document window (Ctrl+H, or
// the line grid's popup menu).
class HistoryWindow final : public QDialog
{
    Q_OBJECT
public:
    HistoryWindow(const QString &heading, const QString &invNo, const QList<HistoryEntry> &entries,
                  QWidget *parent = nullptr);

    QTableWidget *table() const { return m_table; }

private:
    QTableWidget *m_table = nullptr;
};

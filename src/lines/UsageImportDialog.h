#pragma once

#include "lines/LineHost.h"
#include "services/DocumentHistory.h"

#include <QDialog>
#include <QString>

#include <memory>

class FlexGrid;

// Opens the usage import over parent modally (through ModalRunner), lets it
// write the ticked lines, and releases it. The host hears of the lines
// written after a save.
void runUsageImport(LineHost &host, QWidget *parent, const UsageImportCall &call);

// The usage import: proposes, per need still open and stock source, the
// quantity to take; ticked rows become lines of the calling document.
class Frm40BMx4 : public QDialog
{
    Q_OBJECT
public:
    explicit Frm40BMx4(QWidget *parent = nullptr);
    ~Frm40BMx4() override;

    // Inputs, set by the opener before the dialog is shown.
    QString W_Prop_Duty;
    void setHost(LineHost *host) { m_host = host; }
    LineHost *host() const { return m_host; }
    void setOut_Type_Order(bool byOrder);
    // The calling document's fields the dialog works from.
    void setDocument(bool production, int stockMode, const QString &pcsNo, qint64 rec411);
    // The document's connection and user, whatever a later ShowFrm sets;
    // whom the history rows of the lines saved name.
    void setSession(const Connection &conn, const HistoryActor &who);

    FlexGrid *grid() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
    LineHost *m_host = nullptr;
};

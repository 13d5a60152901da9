#pragma once

#include <QString>

#include <utility>
#include <vector>

// What the line dialogs need of the document window that opens them. The
// window implements it; a dialog never reads the window's controls itself.
class LineHost
{
public:
    virtual ~LineHost() = default;

    // The header's outsourcing order number (Pcs_No), trimmed.
    virtual QString outsourcingOrderNo() const = 0;
    // The header's stock-deduction choice as the user sees it (Stock_Mode).
    virtual QString stockDeductionText() const = 0;
    // The document's lines were written: reload them and, unless rec412 is
    // empty, select the line with that key.
    virtual void linesChanged(const QString &rec412) = 0;

protected:
    LineHost() = default;
    LineHost(const LineHost &) = default;
    LineHost &operator=(const LineHost &) = default;
};

// What the opener of the line entry dialog hands it.
struct LineRequest
{
    int modify = 0;             // 0 add, 2 change, 3 view
    QString invType;            // "1" issue, "2" return, "3" supplementary issue
    QString rec411;             // the document's key
    QString stockMode;          // "0" by material, "1" by order, "2" by manufacturing order
    int stockModePosition = -1; // the hidden stock-deduction choice, -1 for none
    QString propDuty;           // the header's nature of issue as a list position
    bool outsourcing = false;   // an outsourcing document
    QString rec412;             // the line changed or viewed
    QString rec611;
    // Field name and text of the line changed or viewed.
    std::vector<std::pair<QString, QString>> fields;
};

#pragma once

#include "lines/LineRequest.h"

#include <QString>

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

#pragma once

#include "platform/db/Connection.h"
#include "services/DocumentHistory.h"

#include <QString>

#include <utility>
#include <vector>

// What the document's opener hands the line dialogs: plain values, so the
// document session can make them without widgets.

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
    // The document's connection (none: the module's run context's) and whom
    // the line's history row names.
    Connection conn;
    HistoryActor who;
};

// What the document hands the usage import.
struct UsageImportCall
{
    QString caption;           // "导入制单用量(Frm40BMx4)" or "导入订单Bom用量(Frm40BMx4)"
    QString propDuty;          // nature of the issue as a list position, "0".."4"
    bool orderControl = false; // the option "按订单用料控制领料" is "1"
    bool production = true;    // Option1 of the document: a production issue
    int stockMode = 2;         // position of the document's Stock_Mode (0, 1, 2)
    QString pcsNo;             // the document's outsourcing order
    qint64 rec411 = 0;         // the document's key
    // The document's connection (none: the module's run context's) and whom
    // the lines' history rows name.
    Connection conn;
    HistoryActor who;
};

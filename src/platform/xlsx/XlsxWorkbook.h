#pragma once

#include "platform/xlsx/XlsxSheet.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class XlsxWorkbookPrivate;

// A workbook-level defined name as stored: refersTo is the formula text
// without '=' (e.g. "'Sheet 1'!$A$3"); localSheet is the index of the sheet
// that scopes it, or -1 for the whole workbook.
struct XlsxDefinedName
{
    QString name;
    QString refersTo;
    int localSheet = -1;
};

// An Office Open XML workbook (.xlsx) read and written by ourselves.
// Parts we do not model (drawings, printer settings, themes, custom XML …)
// are copied through unchanged on save. Failures are reported by return
// value and errorString().
class XlsxWorkbook
{
public:
    // A new workbook with one empty worksheet "Sheet1".
    XlsxWorkbook();
    ~XlsxWorkbook();
    XlsxWorkbook(const XlsxWorkbook &) = delete;
    XlsxWorkbook &operator=(const XlsxWorkbook &) = delete;

    // Replaces the contents with the workbook at path. On failure the
    // workbook is a new empty one again.
    bool open(const QString &path);
    // Writes the workbook; the target is replaced only when writing succeeded.
    bool save(const QString &path);
    QString errorString() const;

    // Worksheets in tab order (chart sheets are kept but not listed). Sheet
    // pointers stay valid until the next open() or the workbook's end.
    int sheetCount() const;
    QStringList sheetNames() const;
    XlsxSheet *sheet(int index) const;           // 0-based; nullptr when out of range
    XlsxSheet *sheet(const QString &name) const; // ignoring case; nullptr when missing
    int sheetIndex(const QString &name) const;   // -1 when missing
    // Appends a worksheet; nullptr when the name is invalid or taken.
    XlsxSheet *addSheet(const QString &name);

    QList<XlsxDefinedName> definedNames() const;
    // The reference of a defined name (ignoring case), empty when there is none.
    QString definedNameReference(const QString &name) const;
    // The sheet and cells a defined name points to. False when the name is
    // missing, refers to #REF! or is not one rectangle on one sheet.
    bool resolveDefinedName(const QString &name, QString *sheetName, XlsxRange *range) const;
    // Creates or replaces a workbook-wide name. Fails for names that the
    // file format does not allow (blank, spaces, cell-reference look-alikes).
    bool setDefinedName(const QString &name, const QString &sheetName, const XlsxRange &range);
    bool setDefinedName(const QString &name, const QString &refersTo);
    bool removeDefinedName(const QString &name);

    static bool isValidDefinedName(const QString &name);
    static bool isValidSheetName(const QString &name);

private:
    friend class XlsxSheet;
    friend class XlsxSheetPrivate;
    std::unique_ptr<XlsxWorkbookPrivate> d;
};

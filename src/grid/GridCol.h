#pragma once

#include "platform/ui/FlexGrid.h"

#include <QPointer>
#include <QString>

// One column of a grid: every property is read from and written to the grid.
// Before each access the grid is given more columns than the index when it
// has too few.
class GridCol
{
public:
    GridCol() = default;

    QString FormName() const { return m_formName; }
    void setFormName(const QString &name) { m_formName = name; }

    // Binds grid and column; makes sure the column exists and stores the index
    // as the column's data value.
    void Grid(FlexGrid *P_VsFlexgrid, int P_ColIndex);

    bool Visible() const;
    void setVisible(bool visible);
    int FixedAlignment() const;
    void setFixedAlignment(int code);
    QString Format() const;
    void setFormat(const QString &format);
    QString Caption() const;
    void setCaption(const QString &caption);
    QString DataField() const;
    void setDataField(const QString &field);
    int Alignment() const;
    void setAlignment(int code);
    int Width() const; // twips
    void setWidth(int twips);
    int Height() const; // height of row 0, twips
    void setHeight(int twips);
    // Read: the column's data value. Write: moves the column to the position
    // and stores the position as its data value.
    int Position() const;
    void setPosition(int position);
    QString Name() const; // grid name + "-" + column index
    FlexGrid *Container() const { return m_grid; }
    int index() const { return m_col; }

private:
    FlexGrid *ensured() const;

    QPointer<FlexGrid> m_grid;
    int m_col = 0; // wide: grids hold more than 32767 columns' worth of data
    QString m_formName;
};

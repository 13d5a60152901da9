#include "grid/GridCol.h"

#include "platform/ui/FlexGrid.h"

FlexGrid *GridCol::ensured() const
{
    FlexGrid *g = m_grid.data();
    if (g && g->cols() <= m_col)
        g->setCols(m_col + 1);
    return g;
}

void GridCol::Grid(FlexGrid *P_VsFlexgrid, int P_ColIndex)
{
    m_grid = P_VsFlexgrid;
    m_col = std::max(0, P_ColIndex);
    if (FlexGrid *g = ensured())
        g->setColData(m_col, m_col);
}

bool GridCol::Visible() const
{
    FlexGrid *g = ensured();
    return g && !g->colHidden(m_col);
}

void GridCol::setVisible(bool visible)
{
    if (FlexGrid *g = ensured())
        g->setColHidden(m_col, !visible);
}

int GridCol::FixedAlignment() const
{
    FlexGrid *g = ensured();
    return g ? g->fixedAlignment(m_col) : 0;
}

void GridCol::setFixedAlignment(int code)
{
    if (FlexGrid *g = ensured())
        g->setFixedAlignment(m_col, code);
}

QString GridCol::Format() const
{
    FlexGrid *g = ensured();
    return g ? g->colFormat(m_col) : QString();
}

void GridCol::setFormat(const QString &format)
{
    if (FlexGrid *g = ensured())
        g->setColFormat(m_col, format);
}

QString GridCol::Caption() const
{
    FlexGrid *g = ensured();
    return g ? g->textMatrix(0, m_col) : QString();
}

void GridCol::setCaption(const QString &caption)
{
    if (FlexGrid *g = ensured())
        g->setTextMatrix(0, m_col, caption);
}

QString GridCol::DataField() const
{
    FlexGrid *g = ensured();
    return g ? g->colKey(m_col) : QString();
}

void GridCol::setDataField(const QString &field)
{
    if (FlexGrid *g = ensured())
        g->setColKey(m_col, field);
}

int GridCol::Alignment() const
{
    FlexGrid *g = ensured();
    return g ? g->colAlignment(m_col) : 0;
}

void GridCol::setAlignment(int code)
{
    if (FlexGrid *g = ensured())
        g->setColAlignment(m_col, code);
}

int GridCol::Width() const
{
    FlexGrid *g = ensured();
    return g ? g->colWidth(m_col) : 0;
}

void GridCol::setWidth(int twips)
{
    if (FlexGrid *g = ensured())
        g->setColWidth(m_col, twips);
}

int GridCol::Height() const
{
    FlexGrid *g = ensured();
    return g ? g->rowHeight(0) : 0;
}

void GridCol::setHeight(int twips)
{
    if (FlexGrid *g = ensured())
        g->setRowHeight(0, twips);
}

int GridCol::Position() const
{
    FlexGrid *g = ensured();
    return g ? g->colData(m_col).toInt() : 0;
}

void GridCol::setPosition(int position)
{
    FlexGrid *g = ensured();
    if (!g)
        return;
    g->setColPosition(m_col, position);
    // The descriptor follows its column to the new place.
    if (position >= g->fixedCols() && position < g->cols() && m_col >= g->fixedCols())
        m_col = position;
    g->setColData(m_col, position);
}

QString GridCol::Name() const
{
    return (m_grid ? m_grid->objectName() : QString()) + QLatin1Char('-') + QString::number(m_col);
}

#pragma once

#include "generator/FactoryGenerator.h"
#include "lines/SourceLists.h"

// The sample line's fields typed into the line dialog's inputs, as the
// benchmark and the plan check refresh them. Only for programs that link
// the line dialog's lists; the generator itself does not.
inline void typeFactoryLine(const FactoryLine &line, LineInputs &in)
{
    in.mtrNo = line.mtrNo;
    in.orderNo = line.orderNo;
    in.moNo = line.moNo;
    in.frmInv = line.frmInv;
    in.frmType = line.frmTypeName;
    in.barName = line.barName;
}

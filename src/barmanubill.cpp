// The shared library a host loads: ClsBarManuBill and the module behind it.
// A host that loads it by name finds the class through this factory.
#include "entry/ClsBarManuBill.h"

extern "C" __attribute__((visibility("default"))) ClsBarManuBill *CreateClsBarManuBill()
{
    return new ClsBarManuBill;
}

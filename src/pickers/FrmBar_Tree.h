#pragma once

// The FrmBar_Tree picker shares its implementation with the other tree picker.
#include "pickers/TreePicker.h"

#pragma once

// The FrmOrg picker shares its implementation with the other tree picker.
#include "pickers/TreePicker.h"

#pragma once

#include "diag/base.h"

// Native build only: the process heap fails every allocation after `allocations` more
// succeed; -1 restores it.
void failProcessHeapAfter(i64 allocations);

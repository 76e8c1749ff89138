#pragma once

// Runs the static initialiser table: the C range, then the C++ range, each non-null slot
// in address order. The entry point of every executable without the C runtime calls it
// first.
void runStaticInitialisers();

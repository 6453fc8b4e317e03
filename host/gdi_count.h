// The number of GDI objects that the test process holds.
#pragma once

// GetGuiResources when the system answers it; otherwise (Wine answers 0) the live slots of the process's GDI
// handle table, where a handle whose high word is zero names whatever object occupies that slot.
int CountGdiObjects();

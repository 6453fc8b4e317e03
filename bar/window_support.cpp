#include "bar/window_support.h"

void InitWindowSupport(HINSTANCE) {}
void TermWindowSupport() {}

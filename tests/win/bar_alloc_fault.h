// Fault injection for the allocations that the bar makes through malloc, its window bindings among them.
#pragma once

// Makes the n-th following malloc fail (1: the very next one); 0 disarms.
void FailAllocation(int n);
// How many mallocs the process has asked for so far, failed ones included.
int Allocations();

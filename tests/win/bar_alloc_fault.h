// Fault injection for the non-throwing allocations that the bar makes for its window bindings.
#pragma once

// Makes the n-th following nothrow allocation fail (1: the very next one); 0 disarms.
void FailNothrowAllocation(int n);
// How many nothrow allocations the process has asked for so far, failed ones included.
int NothrowAllocations();

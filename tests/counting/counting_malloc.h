#ifndef COUNTING_MALLOC_H
#define COUNTING_MALLOC_H

// Heap allocations of the calling thread, counted by the malloc family that
// counting_malloc.cpp puts in front of glibc's in the executable linking it
// (operator new and Qt's containers end there too). AddressSanitizer brings
// its own allocator, so there nothing is counted: see available().
namespace CountingMalloc {

bool available();
// Counts from zero from now on; onEach, when given, runs for every counted
// allocation with counting paused, so it may allocate itself.
void start(void (*onEach)() = nullptr);
// Ends counting; the number counted since start().
long stop();

} // namespace CountingMalloc

#endif

// Counts heap allocations made through operator new, for checks that a path
// allocates nothing. Linking counting_new.cpp (the testkit_counting_new
// library) replaces the global operator new of the program.
#pragma once

long heap_allocations();

// The allocations made since it was made.
class AllocationCount {
 public:
  AllocationCount() : start_(heap_allocations()) {}
  long made() const { return heap_allocations() - start_; }

 private:
  long start_;
};

// Counts heap allocations made through operator new, for checks that a path
// allocates nothing. Linking counting_new.cpp replaces the global operator
// new of the program.
#pragma once

long heap_allocations();

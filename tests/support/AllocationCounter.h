// Counts heap allocations made on the calling thread between Start and Stop. The counting
// operator new lives in tests/support/AllocationCounter.cpp, linked into the screen and engine
// tests and the benchmarks that count allocations per frame.
#pragma once

namespace testsupport {

void StartCountingAllocations();
// The allocations counted since Start.
long StopCountingAllocations();

}  // namespace testsupport

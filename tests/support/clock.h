// Milliseconds from the performance counter, for the benchmarks' timings.
#pragma once

// Milliseconds since an arbitrary start, at the performance counter's resolution.
double NowMs();

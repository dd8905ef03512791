#pragma once
// The share of the progress bar that the extraction of one package adds.

namespace kav {

// old + 10 / downloadsExpected, computed in double precision and truncated toward zero. With no
// expected downloads (a client that was never set up) the progress stays where it is.
int AdvanceExtractionProgress(int oldPercent, int downloadsExpected);

}  // namespace kav

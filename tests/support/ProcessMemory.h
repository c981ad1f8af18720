#pragma once

// The most this process has held in memory so far (VmHWM), in kilobytes; -1
// when it cannot be read. Shared by the tests and the benches.
long peakResidentKilobytes();

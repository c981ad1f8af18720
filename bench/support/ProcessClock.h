#pragma once

// Milliseconds since this process started, from the kernel's record (10 ms
// steps); -1 when it cannot be read.
double millisecondsSinceProcessStart();

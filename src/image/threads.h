// How many threads the banded row loops of the library use (1 or 2). Results
// never depend on it; tests set it to compare one thread with two, and
// VIVID_THREADS in the environment sets the starting value (default: 2 on a
// machine with at least two cores).
#pragma once

int GL_GetThreadCount();
void GL_SetThreadCount(int threads);

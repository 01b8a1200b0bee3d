#pragma once

// Asks the kernel to run the calling thread soon after it wakes, without privileges: a short
// slice (the kernel prefers a waking task with an earlier deadline; kernels before 6.12 ignore
// it) and timers that fire within a microsecond of when they are due instead of the default
// 50. For a thread that sleeps most of the time and must not keep a small buffer waiting.
void askForPromptWakeUps();

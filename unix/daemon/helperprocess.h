// What a process forked to run something outside the daemon (the mail sender, the update script)
// does first, so that it carries nothing of the daemon's with it.
#pragma once

// Closes every descriptor from `first` on (the listeners, the pool's pipes, the log).
void CloseDescriptorsFrom(int first);
// Every signal back at its default disposition and none blocked.
void ResetSignalDispositions();
// Both, keeping the standard handles, and the log writer's pending pieces dropped so that they are
// not written a second time.
void PrepareHelperProcess();

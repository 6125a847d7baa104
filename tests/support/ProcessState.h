#pragma once

// A process that no longer runs: gone from /proc, or a zombie waiting for its parent.
bool ProcessGone(unsigned pid);

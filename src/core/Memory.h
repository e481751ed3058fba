// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the process gives memory back to the system.
namespace memory {

// Buffers from 256 KiB on (a screenshot's bytes on their way into a file) get memory of their own, handed back the
// moment they are freed. The allocator's own rule would raise that bound to the largest buffer freed so far, and a
// day of screenshots would then stay in the heap. Call once, before any thread starts.
void tune_allocator();
// Hands the free memory of every heap back to the system (after the history was cleared).
void give_back_free_memory();

} // namespace memory

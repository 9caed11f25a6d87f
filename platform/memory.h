// SPDX-License-Identifier: Apache-2.0
#pragma once

// The process's heap after a burst of work.
namespace Memory {

// Hands memory that was freed but is still held by the allocator back to the system, so a
// flood that has ended does not leave the program at its peak size.
void returnFreed();

} // namespace Memory

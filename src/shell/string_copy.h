// Bounded copy of zero-terminated 8-bit strings into fixed buffers of the tray record.
#pragma once

#include <cstddef>

// lstrcpynA semantics: at most capacity - 1 characters and a terminator. A null target does
// nothing; a null source makes the target empty; a capacity of 0 writes nothing.
char* CopyStringBounded(char* target, const char* source, size_t capacity);

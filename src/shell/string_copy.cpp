#include "string_copy.h"

char* CopyStringBounded(char* target, const char* source, size_t capacity) {
    if (target == nullptr || capacity == 0) {
        return target;
    }
    size_t length = 0;
    if (source != nullptr) {
        while (length + 1 < capacity && source[length] != '\0') {
            target[length] = source[length];
            ++length;
        }
    }
    target[length] = '\0';
    return target;
}

// Precondition checks that stay on in every build: a violated contract of the caller (a null
// handle, an enumerated value out of range) stops the process with the expression, the source
// file, the line and the function, as the standard assert does.
#ifndef KVGASSERT_H
#define KVGASSERT_H

[[noreturn]] void kvgAssertFailed(const char *expression, const char *file, int line,
                                  const char *function);

#define KVG_REQUIRE(expression)                                                                \
    ((expression) ? (void)0 : kvgAssertFailed(#expression, __FILE__, __LINE__, __func__))

// The usual null check, printed as the C library's assert prints `p != NULL`.
#define KVG_REQUIRE_NOT_NULL(pointer)                                                          \
    ((pointer) != nullptr                                                                      \
         ? (void)0                                                                             \
         : kvgAssertFailed(#pointer " != ((void *)0)", __FILE__, __LINE__, __func__))

#endif  // KVGASSERT_H

// Defaults of the AddressSanitizer runtime for the test program, read when the program starts
// in a sanitizer build (-DKVG_SANITIZE=address,...) and unused otherwise. A failed allocation
// returns null, as the C library's does, so the tests of the library's out-of-memory handling
// see what the library sees without the sanitizer.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

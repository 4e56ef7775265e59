/* LeakSanitizer cannot stop the world under a user-mode emulator, and test
   discovery runs the programs without the test environment. */
const char *__asan_default_options(void) { return "detect_leaks=0"; }
const char *__ubsan_default_options(void) { return "print_stacktrace=1:halt_on_error=1"; }

// fontconfig keeps its parsed font patterns for the life of the process (pango's font map
// holds them); LeakSanitizer reports them at exit. They are the library's cache, not leaks
// of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

#pragma once

// The sanitizers' settings for the test programs of a sanitizer build (VC_SANITIZE), read by the sanitizer runtimes
// before main; the environment's *SAN_OPTIONS still come on top. Included once, by each test main. ThreadSanitizer
// takes the tree's one suppressions file, which names the reports from inside Qt that the tests cannot avoid, and lets
// a process with threads fork (Qt starts the test hosts' helper programs that way; the child only executes them).

#ifndef VC_SANITIZER_SUPPRESSIONS
#error "VC_SANITIZER_SUPPRESSIONS must name the suppressions file"
#endif

extern "C" const char* __tsan_default_options() {
    return "suppressions=" VC_SANITIZER_SUPPRESSIONS ":second_deadlock_stack=1:die_after_fork=0";
}

// LeakSanitizer: the session-bus library that Qt's X11 platform plugin reaches for (accessibility, the desktop theme)
// keeps a buffer it never frees when no bus answers. A leak with none of it in the stack is the tree's own: fix it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }

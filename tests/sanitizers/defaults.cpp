// Linked into every program of a sanitizer build, so that the options travel
// with the binaries instead of the environment of whoever runs them.

extern "C" {

// Stop at the first report, with a status no program of ours uses.
const char* __asan_default_options()
{
    return "detect_leaks=1:exitcode=86";
}

const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1:exitcode=86";
}

const char* __lsan_default_options()
{
    return "print_suppressions=0";
}

// Leaks outside the project's code.  SDL connects to D-Bus for screensaver
// and input-method support; libdbus keeps its connection buffers for the
// life of the process by design.
const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}
}

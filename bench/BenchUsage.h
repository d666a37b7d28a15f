// The command line of a bench: --help (or -h) prints its usage and ends it
// before any figure is taken, and anything but the whole numbers it takes is
// refused with the usage, so that a mistyped option never starts a long run.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

// The exit status when the bench is not to run (0 after --help, 2 for an
// argument it does not take), or nothing when it is.
inline std::optional<int> BenchUsage(int argc, char** argv, int numbers, const char* usage)
{
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i > numbers || arg.empty() || arg.find_first_not_of("0123456789") != std::string::npos) {
            std::fprintf(stderr, "%s: '%s' is not an argument it takes\n%s", argv[0], argv[i], usage);
            return 2;
        }
    }
    return std::nullopt;
}

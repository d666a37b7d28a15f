// A hostile parameter backup: 50 MB of one valid item line repeated. Prints
// how long the reader takes to refuse it and the process's peak memory (the
// reader reads at most 1 MiB of any file).
#include "bench/BenchUsage.h"
#include "core/ParameterBackup.h"
#include "tests/support/TempFolder.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>

constexpr const char* Usage = R"(Usage: backup_read_bench
Writes a 50 MB hostile parameter backup and prints the time the reader takes
to refuse it and the peak memory. Takes no arguments.
)";

int main(int argc, char** argv)
{
    if (const auto status = BenchUsage(argc, argv, 0, Usage)) return *status;
    TempFolder folder;
    const std::string path = (folder.path / "hostile.txt").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << backup::Title << "\n# page\titem\ttext\tvalue\n";
        const std::string line = "Standard\t1\tZero range (%)\t10\n";
        for (std::size_t written = 0; written < std::size_t{50} << 20; written += line.size()) out << line;
    }
    const std::vector<backup::TPageLayout> layout{{"Standard", {"Zero range (%)"}, 0x12, 0x1F}};
    const auto start = std::chrono::steady_clock::now();
    const backup::TRead read = backup::ReadFile(path, layout);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("50 MB hostile backup: %s in %.1f ms, peak memory of the process %.1f MB\n",
                read.file ? "ACCEPTED" : "refused", ms, static_cast<double>(usage.ru_maxrss) / 1024.0);
    std::printf("message: %s\n", read.error.c_str());
    return read.file ? 1 : 0;
}

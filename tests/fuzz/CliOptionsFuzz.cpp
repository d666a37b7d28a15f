// quorvel-cli's option parser on any argument list (arguments split at NUL).
#include "cli/CliOptions.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string error;
    (void)ParseCliOptions(FuzzPieces(data, size, '\0'), error);
    return 0;
}

// The diagnosis decoder and the configuration readers on any received bytes.
#include "dp/Diagnosis.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const TByteString bytes = FuzzBytes(data, size);
    if (const auto d = diag::DecodeReply(bytes)) (void)diag::Line(*d);
    if (size > 0) {
        if (const auto d = diag::Decode(data[0], FuzzBytes(data + 1, size - 1))) (void)diag::Line(*d);
    }
    (void)diag::WzmModuleCount(bytes);
    (void)diag::ModuleCountText(bytes);
    return 0;
}

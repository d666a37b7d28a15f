#include "WeightLog.h"

#include "core/CyclicData.h"
#include "core/WeightCsv.h"

bool TWeightLog::Start(const std::string& path, std::string& error, std::function<void(const std::string&)> report)
{
    out_.open(path, std::ios::binary | std::ios::trunc);
    if (out_) out_ << plot::WeightCsvHeader() << std::flush;
    if (!out_) {
        out_.close();
        error = "cannot write " + path;
        return false;
    }
    path_ = path;
    report_ = std::move(report);
    return true;
}

void TWeightLog::Add(const TByteString& response, int moduleCount, std::int64_t timeMs)
{
    if (!Recording()) return;
    for (int k = 0; k < moduleCount && cyclic::HasModuleBlock(response, k); ++k) {
        const cyclic::TModuleValues v = cyclic::DecodeModuleBlock(response, k);
        out_ << plot::WeightCsvLine(k, {timeMs, v.Gross, v.Net, v.StatusByte12, v.StatusByte11});
    }
    // Flushed per response, so a reader of the file sees each cycle and a
    // full disk shows at once.
    if (out_.flush()) return;
    out_.close();
    if (report_) report_("cannot write " + path_ + ": the weight log stopped; the link goes on");
}

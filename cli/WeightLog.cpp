#include "WeightLog.h"

#include "core/CyclicData.h"
#include "core/WeightCsv.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

bool TWeightLog::Start(const std::string& path, std::string& error, std::function<void(const std::string&)> report)
{
    out_.open(path, std::ios::binary | std::ios::trunc);
    if (out_) out_ << plot::WeightCsvHeader() << std::flush;
    if (!out_) {
        error = "cannot write " + path + ": " + std::strerror(errno ? errno : EIO);
        out_.close();
        return false;
    }
    path_ = path;
    whole_ = plot::WeightCsvHeader().size();
    report_ = std::move(report);
    return true;
}

void TWeightLog::Add(const TByteString& response, int moduleCount, std::int64_t timeMs)
{
    if (!Recording()) return;
    std::string rows;
    for (int k = 0; k < moduleCount && cyclic::HasModuleBlock(response, k); ++k) {
        const cyclic::TModuleValues v = cyclic::DecodeModuleBlock(response, k);
        rows += plot::WeightCsvLine(k, {timeMs, v.Gross, v.Net, v.StatusByte12, v.StatusByte11});
    }
    // Flushed per response, so a reader of the file sees each cycle and a
    // full disk shows at once.
    errno = 0;
    if (out_.write(rows.data(), static_cast<std::streamsize>(rows.size())).flush()) {
        whole_ += rows.size();
        return;
    }
    const std::string why = std::strerror(errno ? errno : EIO);
    out_.close();
    // The file ends with the last response written whole, never in a cut row.
    std::error_code ec;
    std::filesystem::resize_file(path_, whole_, ec);
    if (report_)
        report_("cannot write " + path_ + ": " + why + "; the weight log stopped after its last whole row" +
                (ec ? " (cutting off the part row failed: " + ec.message() + ")" : std::string()) +
                "; the link goes on");
}

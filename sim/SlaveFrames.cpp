#include "SlaveFrames.h"

namespace sim {

namespace {

constexpr std::size_t MaxBuffered = 4 * TByteString::MaxLength;

}  // namespace

std::vector<TRequest> TRequestParser::Feed(const std::uint8_t* bytes, std::size_t count, SimTime now)
{
    Expire(now);
    if (count > 0) lastByte_ = now;
    buffer_.insert(buffer_.end(), bytes, bytes + count);
    std::vector<TRequest> requests;
    while (!buffer_.empty() && TakeOne(requests)) {
    }
    // Only a partial telegram can remain, and none is longer than this.
    if (buffer_.size() > MaxBuffered) Skip(buffer_.size());
    return requests;
}

std::optional<SimTime> TRequestParser::PartialDeadline() const
{
    if (buffer_.empty()) return std::nullopt;
    return lastByte_ + idleGap_;
}

void TRequestParser::Expire(SimTime now)
{
    if (!buffer_.empty() && now - lastByte_ > idleGap_) Skip(buffer_.size());
}

void TRequestParser::Consume(std::size_t n)
{
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n));
}

void TRequestParser::Skip(std::size_t n)
{
    Consume(n);
    skipped_ += n;
}

bool TRequestParser::TakeOne(std::vector<TRequest>& out)
{
    const fdl::TCut cut = fdl::Cut(buffer_.data(), buffer_.size());
    if (cut.kind == fdl::TCutKind::Incomplete) return false;
    if (cut.kind != fdl::TCutKind::Complete) {
        Skip(cut.length);
        return true;
    }
    const TByteString telegram(buffer_.data(), cut.length);
    const auto frame = fdl::Parse(telegram);
    if (!frame) {  // a SAP byte announced and missing
        Skip(cut.length);
        return true;
    }
    if (frame->start != fdl::SC && !frame->IsToken()) {
        // The addresses with their extension bits, as they came.
        const std::size_t body = frame->start == fdl::SD2 ? fdl::SD2HeadLength : 1;
        TRequest request;
        request.da = telegram[body];
        request.sa = telegram[body + 1];
        request.fc = frame->fc;
        request.dsap = frame->dsap;
        request.ssap = frame->ssap;
        request.data = frame->data;
        request.length = cut.length;
        out.push_back(request);
    }
    Consume(cut.length);
    return true;
}

TByteString BuildSd1(std::uint8_t da, std::uint8_t sa, std::uint8_t fc)
{
    const std::uint8_t body[] = {da, sa, fc};
    return {fdl::SD1, da, sa, fc, fdl::Sum8(body, 3), fdl::ED};
}

TByteString BuildSd2(std::uint8_t da, std::uint8_t sa, std::uint8_t fc, std::optional<std::uint8_t> dsap,
                     std::optional<std::uint8_t> ssap, const TByteString& data)
{
    TByteString body{da, sa, fc};
    if (dsap) body.Append(*dsap);
    if (ssap) body.Append(*ssap);
    body.Append(data);
    body.Truncate(fdl::MaxLe);
    const auto le = static_cast<std::uint8_t>(body.size());
    TByteString telegram{fdl::SD2, le, le, fdl::SD2};
    telegram.Append(body);
    telegram.Append(fdl::Sum8(body.data(), body.size()));
    telegram.Append(fdl::ED);
    return telegram;
}

TByteString AsSd3(const TByteString& telegram)
{
    constexpr std::size_t body = 3 + fdl::SD3DataLength;  // DA SA FC and the unit
    if (telegram.size() != fdl::SD2HeadLength + body + 2 || telegram[0] != fdl::SD2 || telegram[1] != body)
        return telegram;
    TByteString sd3{fdl::SD3};
    sd3.Append(telegram.Mid(fdl::SD2HeadLength, body + 2));  // the body, its check sum and 16
    return sd3;
}

TByteString ShortAck() { return {fdl::SC}; }

}  // namespace sim

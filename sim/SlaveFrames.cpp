#include "SlaveFrames.h"

namespace sim {

namespace {

constexpr std::size_t Sd1Length = 6;
constexpr std::size_t MaxLe = TByteString::MaxLength - 6;  // a telegram fits a byte string
constexpr std::size_t MaxBuffered = 4 * TByteString::MaxLength;

std::uint8_t Sum(const std::uint8_t* bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum);
}

// Splits DA SA FC and the SAP extension off a telegram's body. False when
// the body announces a SAP byte it does not hold.
bool SplitBody(const std::uint8_t* body, std::size_t length, TRequest& request)
{
    request.da = body[0];
    request.sa = body[1];
    request.fc = body[2];
    std::size_t pos = 3;
    if (request.da & 0x80) {
        if (pos >= length) return false;
        request.dsap = body[pos++];
    }
    if (request.sa & 0x80) {
        if (pos >= length) return false;
        request.ssap = body[pos++];
    }
    request.data = TByteString(body + pos, length - pos);
    return true;
}

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
    const std::uint8_t* b = buffer_.data();
    const std::size_t size = buffer_.size();
    TRequest request;
    if (b[0] == Sd1) {
        if (size < Sd1Length) return false;
        if (Sum(b + 1, 3) != b[4] || b[5] != End || !SplitBody(b + 1, 3, request)) {
            Skip(1);
            return true;
        }
        request.length = Sd1Length;
        out.push_back(request);
        Skip(Sd1Length);
        return true;
    }
    if (b[0] != Sd2) {
        Skip(1);
        return true;
    }
    if (size < 4) return false;
    const std::size_t le = b[1];
    if (b[2] != le || b[3] != Sd2 || le < 3 || le > MaxLe) {
        Skip(1);
        return true;
    }
    if (size < le + 6) return false;
    if (Sum(b + 4, le) != b[4 + le] || b[5 + le] != End || !SplitBody(b + 4, le, request)) {
        Skip(1);
        return true;
    }
    request.length = le + 6;
    out.push_back(request);
    Consume(le + 6);
    return true;
}

TByteString BuildSd1(std::uint8_t da, std::uint8_t sa, std::uint8_t fc)
{
    const std::uint8_t body[] = {da, sa, fc};
    return {Sd1, da, sa, fc, Sum(body, 3), End};
}

TByteString BuildSd2(std::uint8_t da, std::uint8_t sa, std::uint8_t fc, std::optional<std::uint8_t> dsap,
                     std::optional<std::uint8_t> ssap, const TByteString& data)
{
    TByteString body{da, sa, fc};
    if (dsap) body.Append(*dsap);
    if (ssap) body.Append(*ssap);
    body.Append(data);
    body.Truncate(MaxLe);
    const auto le = static_cast<std::uint8_t>(body.size());
    TByteString telegram{Sd2, le, le, Sd2};
    telegram.Append(body);
    telegram.Append(Sum(body.data(), body.size()));
    telegram.Append(End);
    return telegram;
}

TByteString ShortAck() { return {ShortAckByte}; }

}  // namespace sim

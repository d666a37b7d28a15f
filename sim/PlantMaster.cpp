#include "PlantMaster.h"

#include "SlaveFrames.h"
#include "dp/Telegram.h"
#include "fdl/LineTiming.h"

#include <algorithm>

namespace sim {

namespace {

constexpr std::uint8_t SapMaster = 62;  // the masters' SAP of the start-up requests
constexpr std::uint8_t SapSlaveDiag = 60;
constexpr std::uint8_t SapSetPrm = 61;
constexpr std::uint8_t SapChkCfg = 62;
constexpr std::uint8_t SapGlobalControl = 58;
constexpr std::uint8_t SrdHigh = 0x4D;    // request bit, SRD high priority
constexpr std::uint8_t SdnHigh = 0x46;    // request bit, SDN high priority, no frame count
constexpr std::uint8_t ReadSetup = 0x12;  // the command that reads a setup parameter
constexpr std::uint8_t StatBusy = 0x80;
constexpr auto CommandPeriod = std::chrono::seconds(3);

}  // namespace

int TPlantMaster::SlotBits(long baud) { return baud >= 1500000 ? 300 : baud >= 500000 ? 200 : 100; }

TPlantMaster::TPlantMaster(std::uint8_t firstMaster, int masters, std::vector<TStation> stations, long baud, int params,
                           SimTime start)
    : first_(firstMaster),
      masters_(std::clamp(masters, 1, 2)),
      baud_(baud),
      bit_(std::chrono::duration_cast<SimClock::duration>(std::chrono::nanoseconds(1000000000LL / baud))),
      char_(bit_ * fdl::BitsPerChar),
      params_(std::max(params, 1)),
      cursor_(static_cast<std::size_t>(masters_), 0),
      lineFree_(start)
{
    for (std::size_t i = 0; i < stations.size(); ++i) {
        TSlave slave{stations[i], static_cast<int>(i) % masters_};
        slave.nextCommand = start + CommandPeriod;
        slaves_.push_back(slave);
    }
}

std::optional<SimTime> TPlantMaster::NextDue() const
{
    if (await_ && await_->sent) return received_.empty() ? await_->deadline : lastReceived_ + char_ * 3;
    return lineFree_ + bit_ * fdl::TsynBits;
}

std::optional<TByteString> TPlantMaster::Poll(SimTime now)
{
    if (slaves_.empty()) return std::nullopt;
    if (await_ && await_->sent) {
        if (now < *NextDue()) return std::nullopt;
        Failed(now);  // no answer began within the slot time, or it broke off
    }
    if (now < lineFree_ + bit_ * fdl::TsynBits) return std::nullopt;
    if (await_) return Send(await_->request, now, await_->slave);  // the one retry, with the same FCB
    std::size_t& cursor = cursor_[static_cast<std::size_t>(holder_)];
    std::size_t place = 0;
    for (std::size_t i = 0; i < slaves_.size(); ++i) {
        if (slaves_[i].master != holder_) continue;
        if (place++ < cursor) continue;
        ++cursor;
        TSlave& slave = slaves_[i];
        TByteString request = Request(slave, now);
        if (slave.phase != TPhase::Global) return Send(std::move(request), now, i);
        slave.phase = TPhase::Data;  // a send without reply
        return Send(std::move(request), now, std::nullopt);
    }
    // Every station of this master's share was polled once.
    cursor = 0;
    if (masters_ == 1) return Poll(now);
    const int next = 1 - holder_;
    const TByteString token{fdl::SD4, Address(next), Address(holder_)};
    holder_ = next;
    lineFree_ = now + char_ * static_cast<long>(token.size());
    return token;
}

TByteString TPlantMaster::Request(TSlave& slave, SimTime now)
{
    const std::uint8_t da = slave.station.address, sa = Address(slave.master);
    const auto fc = static_cast<std::uint8_t>(SrdHigh | (slave.fcb ? 0x20 : 0) | (slave.fcv ? 0x10 : 0));
    const auto sap = [&](std::uint8_t dsap, const TByteString& data, std::uint8_t code) {
        return BuildSd2(0x80 | da, 0x80 | sa, code, dsap, SapMaster, data);
    };
    switch (slave.phase) {
    case TPhase::Diag:
    case TPhase::Ready: return sap(SapSlaveDiag, {}, fc);
    case TPhase::Prm: return sap(SapSetPrm, telegram::SetPrmData(slave.station.modules), fc);
    case TPhase::Cfg: return sap(SapChkCfg, telegram::ChkCfgData(slave.station.modules), fc);
    case TPhase::Global: return sap(SapGlobalControl, telegram::GlobalControlData(), SdnHigh);
    case TPhase::Data: break;
    }
    if (!slave.cmd && now >= slave.nextCommand) {
        slave.cmd = ReadSetup;
        slave.unit = static_cast<std::uint8_t>(slave.nextUnit);
        slave.index = static_cast<std::uint8_t>(slave.nextIndex);
        slave.nextUnit = (slave.nextUnit + 1) % slave.station.modules;
        if (slave.nextUnit == 0) slave.nextIndex = slave.nextIndex % params_ + 1;
    }
    TByteString outputs{slave.unit, 0, slave.cmd, slave.index, 0, 0, 0, 0};
    for (int k = 0; k < slave.station.modules; ++k) outputs.Append(0);
    return BuildSd2(da, sa, fc, std::nullopt, std::nullopt, outputs);
}

std::optional<TByteString> TPlantMaster::Send(TByteString telegram, SimTime now, std::optional<std::size_t> awaiting)
{
    ++requests_;
    lineFree_ = now + char_ * static_cast<long>(telegram.size());
    received_.Clear();
    if (awaiting) {
        // The answer's first byte must start within the slot time; it is through one character later.
        const bool retried = await_.has_value();
        await_ = TAwait{*awaiting, telegram, lineFree_ + bit_ * SlotBits(baud_) + char_, retried, true};
    }
    return telegram;
}

void TPlantMaster::LineUsed(const std::vector<TLineOutput::TByteAt>& bytes)
{
    for (const auto& b : bytes) lineFree_ = std::max(lineFree_, b.due);
}

void TPlantMaster::Hear(const std::vector<TLineOutput::TByteAt>& bytes)
{
    LineUsed(bytes);
    for (const auto& b : bytes) {
        if (!await_ || !await_->sent) continue;  // not awaited: stray bytes, another master's answers
        received_.Append(b.byte);
        lastReceived_ = b.due;
        while (await_ && await_->sent && !received_.empty()) {
            const fdl::TCut cut = fdl::Cut(received_.data(), received_.size());
            if (cut.kind == fdl::TCutKind::Incomplete) break;
            const TByteString front = received_.Mid(0, cut.length);
            received_ = received_.Mid(cut.length, received_.size() - cut.length);
            if (cut.kind == fdl::TCutKind::Complete)
                Answered(front, b.due);
            else if (cut.kind == fdl::TCutKind::Corrupt)
                Failed(b.due);
        }
    }
}

void TPlantMaster::Answered(const TByteString& telegram, SimTime now)
{
    const auto frame = fdl::Parse(telegram);
    TSlave& slave = slaves_[await_->slave];
    const std::uint8_t master = Address(slave.master);
    if (!frame || (frame->start != fdl::SC && (frame->da != master || frame->sa != slave.station.address)))
        return;  // not the answer awaited: wait on
    await_.reset();
    received_.Clear();
    const bool diag = frame->HasDataUnit() && frame->ssap == SapSlaveDiag && frame->data.size() >= 6;
    const bool ack = frame->start == fdl::SC;
    Done(slave);
    switch (slave.phase) {
    case TPhase::Diag: slave.phase = diag ? TPhase::Prm : TPhase::Diag; return;
    case TPhase::Prm: slave.phase = ack ? TPhase::Cfg : TPhase::Diag; return;
    case TPhase::Cfg: slave.phase = ack ? TPhase::Ready : TPhase::Diag; return;
    case TPhase::Ready:
        // Ready for data exchange, and with this master: Station_Not_Ready clear, the master's address.
        slave.phase = diag && !(frame->data[0] & 0x02) && frame->data[3] == master ? TPhase::Global : TPhase::Prm;
        return;
    case TPhase::Global: return;
    case TPhase::Data: break;
    }
    const TByteString& inputs = frame->data;
    if (!frame->HasDataUnit() || frame->dsap ||
        inputs.size() != 8 + 16 * static_cast<std::size_t>(slave.station.modules)) {
        slave = TSlave{slave.station, slave.master};  // refused: start the station up again
        slave.nextCommand = now + CommandPeriod;
        return;
    }
    ++exchanges_;
    if (slave.cmd && inputs[0] == slave.unit && inputs[2] != 0 && inputs[2] != StatBusy && inputs[3] == slave.index) {
        slave.cmd = 0;  // the result is in: Cmd back to 0 until the next read
        slave.nextCommand = now + CommandPeriod;
        ++commandsRead_;
    }
}

void TPlantMaster::Failed(SimTime)
{
    if (!await_) return;
    received_.Clear();
    if (!await_->retried) {
        await_->retried = true;
        await_->sent = false;
        return;
    }
    TSlave& slave = slaves_[await_->slave];
    const SimTime nextCommand = slave.nextCommand;
    slave = TSlave{slave.station, slave.master};  // gone: start it up again
    slave.nextCommand = nextCommand;
    await_.reset();
}

}  // namespace sim

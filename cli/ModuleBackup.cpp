#include "ModuleBackup.h"

#include "OverdueCommand.h"

#include "module/core/ConfigFile.h"
#include "module/core/PageLayout.h"
#include "core/CyclicData.h"
#include "dp/Profi_dp.h"
#include "serial/SystemInfo.h"

#include <filesystem>

std::vector<backup::TPageLayout> LoadPageLayout(std::string& where, std::vector<std::string>& said, std::string& error)
{
    std::error_code ignored;
    const std::string programDir = ProgramFolder();
    const conf::TConfigLoad load = conf::LoadFirstConfig(
        conf::ConfigCandidates(std::filesystem::current_path(ignored).string(), programDir, QUORVEL_INSTALLED_CONF));
    if (load.Path.empty()) {
        error = "no " + std::string(conf::FileName) + " found";
        for (const std::string& message : load.Messages) error += "; " + message;
        return {};
    }
    where = load.Path;
    said = load.Messages;
    return conf::PageLayoutOf(load.Lines);
}

TBackupSession::TBackupSession(T_DPV0& master, std::uint8_t unit, TBackupRun run)
    : master_(master), unit_(unit), run_(std::move(run))
{
}

void TBackupSession::Received(const TByteString& telegram)
{
    const auto reply = cyclic::ReadChannel(telegram);
    if (!reply) return;
    const TCommandChannel::TReplyOutcome outcome = channel_.TakeReply(*reply, master_.OutputData);
    if (outcome.resultForPending && queued_) {
        run_.TakeResult(reply->Stat, reply->Value);
        queued_ = false;
    }
    SendNext();
}

void TBackupSession::Tick()
{
    if (!GiveUpOverdueCommand(master_, channel_, wait_, queued_, master_.OutputData)) return;
    run_.GiveUp();
    queued_ = false;
}

void TBackupSession::SendNext()
{
    if (!queued_ && run_.NextCommand()) {
        channel_.QueueCommand(unit_, *run_.NextCommand());
        queued_ = true;
    }
    if (!channel_.Pending()) channel_.SendNextCommand(master_.OutputData);
}

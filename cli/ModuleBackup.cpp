#include "ModuleBackup.h"

#include "module/core/ConfigFile.h"
#include "module/core/PageLayout.h"
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
    : unit_(unit), run_(std::move(run)), client_(master)
{
}

void TBackupSession::Received(const TByteString& telegram)
{
    if (const auto result = client_.Received(telegram)) run_.TakeResult(result->stat, result->value);
    if (!client_.InFlight() && run_.NextCommand()) client_.Send(unit_, *run_.NextCommand());
}

void TBackupSession::Tick()
{
    if (client_.Tick()) run_.GiveUp();
}

#include "SlaveStats.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sim {

std::string TSlaveStats::Json() const
{
    std::string text = "{\"requests\": " + std::to_string(requests) + ", \"answers\": " + std::to_string(answers) +
                       ", \"collisions\": " + std::to_string(collisions) + ", \"sync\": " + std::to_string(sync) +
                       ", \"tap_written\": " + std::to_string(tapWritten) +
                       ", \"plant_requests\": " + std::to_string(plantRequests) +
                       ", \"plant_exchanges\": " + std::to_string(plantExchanges) + ", \"faults\": {";
    for (std::size_t k = 0; k < faults.size(); ++k)
        text += std::string(k ? ", " : "") + "\"" + FaultName(static_cast<TFaultKind>(k)) +
                "\": " + std::to_string(faults[k]);
    return text + "}}\n";
}

bool WriteStats(const std::string& path, const TSlaveStats& stats, std::string& error)
{
    const std::string temporary = path + ".tmp";
    const std::string text = stats.Json();
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file) ok = std::fclose(file) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        error = "cannot write the statistics to " + path + ": " + std::strerror(errno);
        if (file) std::remove(temporary.c_str());
    }
    return ok;
}

}  // namespace sim

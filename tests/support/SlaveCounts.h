// The counts quorvel-slave writes with --stats FILE, read back for benches
// and tests: requests, answers, collisions, requests not heard for want of
// idle line (sync) and injected faults by kind.
#pragma once

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

struct SlaveCounts {
    long long requests = 0;
    long long answers = 0;
    long long collisions = 0;
    long long sync = 0;
    long long tapWritten = 0;
    long long plantExchanges = 0;
    std::map<std::string, long long> faults;  // by kind, as --fault names them

    // Reads the file; nothing when it is missing or not the simulator's JSON.
    static std::optional<SlaveCounts> Read(const std::string& path)
    {
        std::ifstream in(path);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t faultsAt = text.find("\"faults\"");
        if (faultsAt == std::string::npos) return std::nullopt;
        SlaveCounts counts;
        bool found[3] = {};
        // Each "name": number pair; those after "faults" are the fault kinds.
        for (std::size_t at = text.find('"'); at != std::string::npos; at = text.find('"', at)) {
            const std::size_t end = text.find('"', at + 1);
            if (end == std::string::npos) return std::nullopt;
            const std::string name = text.substr(at + 1, end - at - 1);
            std::size_t value = text.find_first_not_of(": ", end + 1);
            at = end + 1;
            if (value == std::string::npos || !std::isdigit(static_cast<unsigned char>(text[value]))) continue;
            const long long number = std::strtoll(text.c_str() + value, nullptr, 10);
            if (at > faultsAt)
                counts.faults[name] = number;
            else if (name == "requests")
                counts.requests = number, found[0] = true;
            else if (name == "answers")
                counts.answers = number, found[1] = true;
            else if (name == "collisions")
                counts.collisions = number, found[2] = true;
            else if (name == "sync")
                counts.sync = number;
            else if (name == "tap_written")
                counts.tapWritten = number;
            else if (name == "plant_exchanges")
                counts.plantExchanges = number;
        }
        if (!found[0] || !found[1] || !found[2]) return std::nullopt;
        return counts;
    }
};

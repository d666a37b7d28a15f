// The publisher of a build without libmosquitto: it never starts.
#include "Publisher.h"

namespace mqtt {

struct TPublisher::TImpl {};

TPublisher::TPublisher() = default;
TPublisher::~TPublisher() = default;

bool TPublisher::Start(const TSettings&, TReport, std::string& error)
{
    error = "this build of quorvel-cli has no MQTT";
    return false;
}

void TPublisher::Publish(const std::string&, const std::string&, bool) {}
void TPublisher::Stop(const std::string&, const std::string&) {}
std::uint64_t TPublisher::Dropped() const { return 0; }
std::uint64_t TPublisher::Sent() const { return 0; }

}  // namespace mqtt

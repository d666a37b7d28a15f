// Answers of other stations as the master reads them outside the start-up
// (FDL_Status, Slave_Diag and Get_Cfg replies): one telegram cut off the
// front of received bytes with its check sum verified, and the meaning of
// an FDL_Status reply's function code.
#pragma once

#include "base/ByteString.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace telegram {

// One received SD1, SD2 or SC telegram. Addresses are without their
// extension bit; `dsap`/`ssap` are set when the bit announced them.
struct TReplyFrame {
    std::uint8_t start = 0;  // SD1, SD2 or SC
    std::uint8_t da = 0;
    std::uint8_t sa = 0;
    std::uint8_t fc = 0;
    std::optional<std::uint8_t> dsap;
    std::optional<std::uint8_t> ssap;
    TByteString data;  // the data unit after any SAP bytes
};

struct TReplyCut {
    enum Kind { NeedMore, Skip, Frame };
    Kind kind = NeedMore;
    std::size_t length = 0;  // bytes to drop from the front (Skip, Frame)
    TReplyFrame frame;
};

// Looks at the front of `count` received bytes: a whole telegram with a
// correct check sum and end delimiter (Frame), the start of one (NeedMore),
// or a byte that cannot start one (Skip, length 1). Unlike the channel's
// delimiting it does not depend on how the bytes were split over polls.
TReplyCut CutReply(const std::uint8_t* bytes, std::size_t count);

// The first telegram of a received telegram string, when it is whole.
std::optional<TReplyFrame> FirstReply(const TByteString& received);

// Station type in the FDL_Status reply's function code (bits 5 and 4).
enum class TStationType { Slave, MasterNotReady, MasterReady, MasterInRing };
TStationType StationTypeOf(std::uint8_t fc);

}  // namespace telegram

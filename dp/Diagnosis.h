// A slave's diagnosis decoded (the three station status bytes by name, the
// master that holds it, its Ident_Number and any extended bytes), and what
// a configuration says about the number of weighing modules.
#pragma once

#include "base/ByteString.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace diag {

// The named bits of the station status bytes, in the order they are shown.
enum TFlag {
    Station_Non_Existent,
    Station_Not_Ready,
    Cfg_Fault,
    Ext_Diag,
    Not_Supported,
    Invalid_Slave_Response,
    Prm_Fault,
    Master_Lock,
    Prm_Req,
    Stat_Diag,
    WD_On,
    Freeze_Mode,
    Sync_Mode,
    Deactivated,
    Ext_Diag_Overflow,
    FlagCount
};
const char* FlagName(TFlag flag);

constexpr std::uint8_t noMaster = 0xFF;  // master address of a slave nobody parameterised
constexpr std::uint16_t wzmIdent = 0x09C5;

struct TDiagnosis {
    std::uint8_t station = 0;  // who answered
    std::uint8_t status[3] = {0, 0, 0};
    std::uint8_t masterAddress = noMaster;
    std::uint16_t ident = 0;
    TByteString extended;  // bytes after the six standard ones

    bool Has(TFlag flag) const;
    std::vector<TFlag> Flags() const;  // the set ones, in display order
};

// Decodes the data unit of a Slave_Diag reply from `station`; nothing when
// it holds fewer than the six standard bytes.
std::optional<TDiagnosis> Decode(std::uint8_t station, const TByteString& dataUnit);
// Decodes a received telegram string that starts with a Slave_Diag reply.
std::optional<TDiagnosis> DecodeReply(const TByteString& received);

// "diag station 3 master 0 ident 09C5 flags Prm_Req,WD_On ext -"; a master
// address of 255 (none) is shown as "-", as are no flags and no extension.
std::string Line(const TDiagnosis& d);

// The weighing modules a configuration describes: C0 07 07 followed by n
// (1..8) pairs 20 1F gives n; anything else is not a WZM configuration.
std::optional<int> WzmModuleCount(const TByteString& config);
// The count as text, or "not a WZM configuration".
std::string ModuleCountText(const TByteString& config);

// Bytes as upper-case hex separated by spaces ("C0 07 07"), "-" for none.
std::string Hex(const TByteString& bytes);

}  // namespace diag

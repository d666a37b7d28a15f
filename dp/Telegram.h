// Telegrams of the DP link as the master (station 0) builds them for its one
// slave, and the classification of what comes back.
#pragma once

#include "base/ByteString.h"

#include <cstdint>

// Reply codes: what a received telegram string was taken for.
constexpr std::int16_t rcNone = 0;              // nothing recognised
constexpr std::int16_t rcShortFrame = 0x0010;   // SD1, 6 bytes
constexpr std::int16_t rcShortAck = 0x00E5;     // SC, the single byte E5
constexpr std::int16_t rcDiagReply = 0x3E3C;    // Slave_Diag response (DSAP 62, SSAP 60)
constexpr std::int16_t rcData = 0x7F7F;         // Data_Exchange response (DA, SA without SAP bit)
constexpr std::int16_t rcGetCfgReply = 0x3E3B;  // Get_Cfg response (DSAP 62, SSAP 59)
// Any other code is DSAP * 256 + SSAP of an SD2 (or SD3) telegram with SAP
// extension. An SD3 (A2 DA SA FC DU FCS 16, a data unit of 8 octets) gets
// the code an SD2 of the same data unit gets.

namespace telegram {

// SAP pairs (DSAP * 256 + SSAP) of the master's SAP requests.
constexpr std::uint16_t sapSlaveDiag = 0x3C3E;
constexpr std::uint16_t sapSetPrm = 0x3D3E;
constexpr std::uint16_t sapChkCfg = 0x3E3E;
constexpr std::uint16_t sapGlobalControl = 0x3A3E;
constexpr std::uint16_t sapGetCfg = 0x3B3E;  // read the slave's configuration; no data

constexpr std::uint8_t fcRequestData = 0x6D;  // SRD, high priority; FCB set, FCV clear: the slave ignores FCB
constexpr std::uint8_t fcSendNoAck = 0x46;    // SDN, high priority
constexpr std::uint8_t fcFdlStatus = 0x49;    // request FDL status, FCV clear

// FE FF 01, written once each time the master starts; not a telegram.
TByteString StartSequence();

// Header and body (no check sum, no end delimiter) of a SAP request to
// the slave: 68 LE LE 68 DA SA FC DSAP SSAP data.
TByteString SapRequestFrame(std::int32_t slaveAddress, std::uint16_t sapPair, const TByteString& data);

// Header and body of a Data_Exchange request: 68 LE LE 68 DA 00 6D data.
TByteString DataExchangeFrame(std::int32_t slaveAddress, const TByteString& data);

// The FDL_Status request from the master to `stationAddress`, complete:
// 10 DA 00 49 FCS 16 (no SAP extension, so DA is the plain address).
TByteString FdlStatusTelegram(std::int32_t stationAddress);

// Completes a frame into the telegram written to the line: header, the LE
// bytes after it, check sum, 16. False (and `telegram` untouched) when the
// header is not 68 LE LE 68.
bool CompleteFrame(const TByteString& frame, TByteString& telegram);

// The length of the answer a complete request written to the line awaits
// from a slave with `moduleCount` modules (0: none, as for Global_Control);
// a Slave_Diag answer of the six standard bytes (longer ones still count
// when they begin within the slot time).
std::size_t AnswerLength(const TByteString& request, std::int32_t moduleCount);
// True when a short acknowledgement (SC) answers the request (Set_Prm, Chk_Cfg).
bool AllowsShortAck(const TByteString& request);

// The reply code of a received telegram string.
std::int16_t Classify(const TByteString& received);

// Data units of the start-up requests for `moduleCount` modules (one
// module's bytes also for counts below 2).
TByteString SetPrmData(std::int32_t moduleCount);
TByteString ChkCfgData(std::int32_t moduleCount);
TByteString GlobalControlData();

}  // namespace telegram

// Constants shared by the serial port library: result codes, line-error and
// modem-status bits, notification message numbers, dispatcher flag words, and
// a few small helpers.
//
// Result codes are signed: 0 success, positive an answer that is not a
// failure (1: the line is under flow control, nothing done), negative a
// failure whose magnitude selects the message text.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* VeltVersion = "v3.01";

// ---- Result codes ----
inline constexpr int ecOK = 0;
inline constexpr int ecUnderFlowControl = 1;  // DTR/RTS owned by hardware flow control

// Operating-system errors (minus the system error number).
inline constexpr int ecFileNotFound = -2;
inline constexpr int ecPathNotFound = -3;
inline constexpr int ecAccessDenied = -5;
inline constexpr int ecOutOfMemory = -8;

// General.
inline constexpr int ecBadHandle = -1001;
inline constexpr int ecBadArgument = -1002;
inline constexpr int ecGotQuitMsg = -1003;
inline constexpr int ecBufferTooBig = -1004;
inline constexpr int ecPortNotAssigned = -1005;
inline constexpr int ecInternal = -1006;
inline constexpr int ecModemNotAssigned = -1007;
inline constexpr int ecPhonebookNotAssigned = -1008;
inline constexpr int ecCannotUseWithWinSock = -1009;

// Opening the port.
inline constexpr int ecBadId = -2001;
inline constexpr int ecBaudRate = -2002;
inline constexpr int ecByteSize = -2003;
inline constexpr int ecDefault = -2004;
inline constexpr int ecHardware = -2005;
inline constexpr int ecMemory = -2006;
inline constexpr int ecCommNotOpen = -2007;
inline constexpr int ecAlreadyOpen = -2008;
inline constexpr int ecNoHandles = -2009;
inline constexpr int ecNoTimers = -2010;
inline constexpr int ecNoPortSelected = -2011;
inline constexpr int ecNotOpenedByTapi = -2012;

// Serial input and output.
inline constexpr int ecNullApi = -3001;
inline constexpr int ecNotSupported = -3002;
inline constexpr int ecRegisterHandlerFailed = -3003;
inline constexpr int ecPutBlockFail = -3004;
inline constexpr int ecGetBlockFail = -3005;
inline constexpr int ecOutputBufferTooSmall = -3006;
inline constexpr int ecBufferIsEmpty = -3007;
inline constexpr int ecTracingNotEnabled = -3008;
inline constexpr int ecLoggingNotEnabled = -3009;
inline constexpr int ecBaseAddressNotSet = -3010;
inline constexpr int ecListenOnly = -3011;  // a write on a port opened for listening

// Modem.
inline constexpr int ecModemNotStarted = -4001;
inline constexpr int ecModemBusy = -4002;
inline constexpr int ecModemNotDialing = -4003;
inline constexpr int ecNotDialing = -4004;
inline constexpr int ecAlreadyDialing = -4005;
inline constexpr int ecModemNotResponding = -4006;
inline constexpr int ecModemRejectedCommand = -4007;
inline constexpr int ecModemStatusMismatch = -4008;

// Triggers.
inline constexpr int ecNoMoreTriggers = -5001;
inline constexpr int ecTriggerTooLong = -5002;
inline constexpr int ecBadTriggerHandle = -5003;

// ---- Line-error word (bits only ever added by the device layer) ----
inline constexpr std::uint32_t leRxOverrun = 0x01;  // receive queue overrun
inline constexpr std::uint32_t leOverrun = 0x02;    // hardware overrun
inline constexpr std::uint32_t leParity = 0x04;
inline constexpr std::uint32_t leFraming = 0x08;
inline constexpr std::uint32_t leBreak = 0x10;
inline constexpr std::uint32_t leMask = 0x1F;

// ---- Modem-status byte: line states in bits 4..7, changes in bits 0..3 ----
inline constexpr std::uint8_t msDeltaCTS = 0x01;
inline constexpr std::uint8_t msDeltaDSR = 0x02;
inline constexpr std::uint8_t msTrailingRing = 0x04;
inline constexpr std::uint8_t msDeltaDCD = 0x08;
inline constexpr std::uint8_t msCTS = 0x10;
inline constexpr std::uint8_t msDSR = 0x20;
inline constexpr std::uint8_t msRing = 0x40;
inline constexpr std::uint8_t msDCD = 0x80;

// ---- Device event mask bits (what woke the event thread) ----
inline constexpr std::uint32_t evRxChar = 0x0001;
inline constexpr std::uint32_t evCTS = 0x0008;
inline constexpr std::uint32_t evDSR = 0x0010;
inline constexpr std::uint32_t evRLSD = 0x0020;
inline constexpr std::uint32_t evBreak = 0x0040;
inline constexpr std::uint32_t evErr = 0x0080;
inline constexpr std::uint32_t evRing = 0x0100;
inline constexpr std::uint32_t evRing2 = 0x2000;  // trailing ring edge
inline constexpr std::uint32_t evModemMask = 0x2138;

// ---- Notification messages delivered to handlers ----
inline constexpr unsigned vmAvail = 0x7E01;  // data available, wParam = byte count
inline constexpr unsigned vmDataTrigger = 0x7E02;
inline constexpr unsigned vmTimerTrigger = 0x7E03;
inline constexpr unsigned vmStatusTrigger = 0x7E04;
inline constexpr unsigned vmPortOpened = 0x7E08;
inline constexpr unsigned vmPortClosed = 0x7E09;
inline constexpr unsigned vmDeferredClose = 0x7E0A;

// ---- ApplyLine: values that keep the current setting ----
inline constexpr int KeepBaud = 0;
inline constexpr int KeepParity = 5;
inline constexpr int KeepDataBits = 9;
inline constexpr int KeepStopBits = 3;

// ---- Flow setup flag words ----
inline constexpr int hfUseDTR = 1;
inline constexpr int hfUseRTS = 2;
inline constexpr int hfRequireDSR = 4;
inline constexpr int hfRequireCTS = 8;
inline constexpr int sfTransmit = 1;
inline constexpr int sfReceive = 2;

// ---- Dispatcher option flags ----
inline constexpr std::uint32_t ofUseEventWord = 4;

// Size of the dispatcher's input buffer.
inline constexpr std::uint32_t InputBufferSize = 8192;

// Largest trace (entries) and dispatch log (bytes).
inline constexpr std::uint32_t MaxTraceSize = 4000000;
inline constexpr std::uint32_t MaxLogSize = 16000000;

// Replaces every control character by a space and folds runs of spaces into
// one (how operating-system message texts are tidied for display).
std::string CollapseWhitespace(const std::string& text);

// Cuts `text` to at most `limit` bytes (the short-string length of messages).
std::string CutText(const std::string& text, std::size_t limit = 255);

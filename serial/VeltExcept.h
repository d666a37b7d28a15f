// The exceptions of the serial port library and the mapping from result codes
// to them. Every library exception carries the signed error code it stands
// for besides its message text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class TComponent;

// Root of the library's exceptions.
class EVeltException : public std::runtime_error {
public:
    // Error code := code, message := ErrorText of its magnitude.
    explicit EVeltException(int code);
    // Error code 0, message := text.
    explicit EVeltException(const std::string& text);

    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

#define VELT_EXCEPTION_CLASS(Name, Base) \
    class Name : public Base {           \
    public:                              \
        using Base::Base;                \
    };

// The ten families.
VELT_EXCEPTION_CLASS(EGeneral, EVeltException)
VELT_EXCEPTION_CLASS(EOpenComm, EVeltException)
VELT_EXCEPTION_CLASS(ESerialIO, EVeltException)
VELT_EXCEPTION_CLASS(EModem, EVeltException)
VELT_EXCEPTION_CLASS(ETrigger, EVeltException)
VELT_EXCEPTION_CLASS(EProtocol, EVeltException)
VELT_EXCEPTION_CLASS(EINI, EVeltException)
VELT_EXCEPTION_CLASS(EFax, EVeltException)
VELT_EXCEPTION_CLASS(ETapi, EVeltException)
VELT_EXCEPTION_CLASS(ERas, EVeltException)

// General errors.
VELT_EXCEPTION_CLASS(EBadArgument, EGeneral)
VELT_EXCEPTION_CLASS(EGotQuitMsg, EGeneral)
VELT_EXCEPTION_CLASS(EBufferTooBig, EGeneral)
VELT_EXCEPTION_CLASS(EPortNotAssigned, EGeneral)
VELT_EXCEPTION_CLASS(EInternal, EGeneral)
VELT_EXCEPTION_CLASS(EModemNotAssigned, EGeneral)
VELT_EXCEPTION_CLASS(EPhonebookNotAssigned, EGeneral)
VELT_EXCEPTION_CLASS(ECannotUseWithWinSock, EGeneral)

// Opening the port.
VELT_EXCEPTION_CLASS(EBadId, EOpenComm)
VELT_EXCEPTION_CLASS(EBaudRate, EOpenComm)
VELT_EXCEPTION_CLASS(EByteSize, EOpenComm)
VELT_EXCEPTION_CLASS(EDefault, EOpenComm)
VELT_EXCEPTION_CLASS(EHardware, EOpenComm)
VELT_EXCEPTION_CLASS(EMemory, EOpenComm)
VELT_EXCEPTION_CLASS(ECommNotOpen, EOpenComm)
VELT_EXCEPTION_CLASS(EAlreadyOpen, EOpenComm)
VELT_EXCEPTION_CLASS(ENoHandles, EOpenComm)
VELT_EXCEPTION_CLASS(ENoTimers, EOpenComm)
VELT_EXCEPTION_CLASS(ENoPortSelected, EOpenComm)
VELT_EXCEPTION_CLASS(ENotOpenedByTapi, EOpenComm)

// Serial input and output.
VELT_EXCEPTION_CLASS(ENullApi, ESerialIO)
VELT_EXCEPTION_CLASS(ERegisterHandlerFailed, ESerialIO)
VELT_EXCEPTION_CLASS(EPutBlockFail, ESerialIO)
VELT_EXCEPTION_CLASS(EGetBlockFail, ESerialIO)
VELT_EXCEPTION_CLASS(EOutputBufferTooSmall, ESerialIO)
VELT_EXCEPTION_CLASS(EBufferIsEmpty, ESerialIO)
VELT_EXCEPTION_CLASS(ETracingNotEnabled, ESerialIO)
VELT_EXCEPTION_CLASS(ELoggingNotEnabled, ESerialIO)
VELT_EXCEPTION_CLASS(EBaseAddressNotSet, ESerialIO)
VELT_EXCEPTION_CLASS(EListenOnly, ESerialIO)

// Modem.
VELT_EXCEPTION_CLASS(EModemNotStarted, EModem)
VELT_EXCEPTION_CLASS(EModemBusy, EModem)
VELT_EXCEPTION_CLASS(EModemNotDialing, EModem)
VELT_EXCEPTION_CLASS(ENotDialing, EModem)
VELT_EXCEPTION_CLASS(EAlreadyDialing, EModem)
VELT_EXCEPTION_CLASS(EModemNotResponding, EModem)
VELT_EXCEPTION_CLASS(EModemRejectedCommand, EModem)
VELT_EXCEPTION_CLASS(EModemStatusMismatch, EModem)

// Triggers.
VELT_EXCEPTION_CLASS(ETriggerTooLong, ETrigger)
VELT_EXCEPTION_CLASS(EBadTriggerHandle, ETrigger)

// The protocol, INI-database, fax, telephony and dial-up codes raise their
// family class; the exception keeps the code.

#undef VELT_EXCEPTION_CLASS

// Operating-system input/output error: message from ErrorText, error code the
// (positive) system error number.
class EInOutError : public std::runtime_error {
public:
    EInOutError(const std::string& text, int code) : std::runtime_error(text), errorCode_(code) {}
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

// A text that is not an integer: "'%s' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised by TVeltStringResource only: a missing or malformed string table, or
// a missing entry while raise-on-missing is set.
class EStringTableError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Leaves codes >= 0 alone and returns them; turns a negative code into the
// exception it stands for. While `component` is being loaded from stored
// settings the code is returned instead of raised. `component` may be null.
int RaiseOnError(const TComponent* component, int code);
inline int RaiseOnError(int code) { return RaiseOnError(nullptr, code); }

// Message text of a result code's magnitude (at most 255 characters): the
// error table's entry, else the operating system's text, else empty.
std::string ErrorText(std::int16_t code);

// Converts a decimal (or $/0x hexadecimal) integer text with optional leading
// blanks and sign; raises EConvertError "'<text>' is not a valid integer
// value" for anything else or a value outside 32 bits.
std::int32_t StrToInt(const std::string& text);

#include "VeltExcept.h"

#include "VeltComponent.h"
#include "VeltMisc.h"
#include "SystemInfo.h"
#include "VeltStrings.h"

#include <cstdlib>
#include <new>

EVeltException::EVeltException(int code)
    : std::runtime_error(ErrorText(static_cast<std::int16_t>(code))), errorCode_(code)
{
}

EVeltException::EVeltException(const std::string& text) : std::runtime_error(text), errorCode_(0) {}

namespace {

using TThrower = void (*)(int code);

template <class E>
[[noreturn]] void Throw(int code)
{
    throw E(code);
}

struct TCodeClass {
    int code;
    TThrower raise;
};

// Codes that have a class of their own, and the families that the rarely met
// ones are reduced to.
const TCodeClass codeClasses[] = {
    {-1002, Throw<EBadArgument>},
    {-1003, Throw<EGotQuitMsg>},
    {-1004, Throw<EBufferTooBig>},
    {-1005, Throw<EPortNotAssigned>},
    {-1006, Throw<EInternal>},
    {-7003, Throw<EInternal>},
    {-7006, Throw<EInternal>},
    {-7012, Throw<EInternal>},
    {-1007, Throw<EModemNotAssigned>},
    {-1008, Throw<EPhonebookNotAssigned>},
    {-1009, Throw<ECannotUseWithWinSock>},
    {-2001, Throw<EBadId>},
    {-2002, Throw<EBaudRate>},
    {-2003, Throw<EByteSize>},
    {-2004, Throw<EDefault>},
    {-2005, Throw<EHardware>},
    {-2006, Throw<EMemory>},
    {-2007, Throw<ECommNotOpen>},
    {-2008, Throw<EAlreadyOpen>},
    {-2009, Throw<ENoHandles>},
    {-2010, Throw<ENoTimers>},
    {-2011, Throw<ENoPortSelected>},
    {-2012, Throw<ENotOpenedByTapi>},
    {-3001, Throw<ENullApi>},
    {-3003, Throw<ERegisterHandlerFailed>},
    {-3004, Throw<EPutBlockFail>},
    {-3005, Throw<EGetBlockFail>},
    {-3006, Throw<EOutputBufferTooSmall>},
    {-3007, Throw<EBufferIsEmpty>},
    {-3008, Throw<ETracingNotEnabled>},
    {-3009, Throw<ELoggingNotEnabled>},
    {-3010, Throw<EBaseAddressNotSet>},
    {-3011, Throw<EListenOnly>},
    {-4001, Throw<EModemNotStarted>},
    {-4002, Throw<EModemBusy>},
    {-4003, Throw<EModemNotDialing>},
    {-4004, Throw<ENotDialing>},
    {-4005, Throw<EAlreadyDialing>},
    {-4006, Throw<EModemNotResponding>},
    {-4007, Throw<EModemRejectedCommand>},
    {-4008, Throw<EModemStatusMismatch>},
    {-5002, Throw<ETriggerTooLong>},
    {-5003, Throw<EBadTriggerHandle>},
    {-6006, Throw<EProtocol>},
    {-6008, Throw<EProtocol>},
    {-6009, Throw<EProtocol>},
    {-7001, Throw<EINI>},
    {-7002, Throw<EINI>},
    {-7004, Throw<EINI>},
    {-7005, Throw<EINI>},
    {-7007, Throw<EINI>},
    {-7008, Throw<EINI>},
    {-7010, Throw<EINI>},
    {-7011, Throw<EINI>},
    {-7013, Throw<EINI>},
    {-7014, Throw<EINI>},
    {-8001, Throw<EFax>},
    {-8002, Throw<EFax>},
    {-8003, Throw<EFax>},
    {-8004, Throw<EFax>},
    {-8005, Throw<EFax>},
    {-8053, Throw<EFax>},
    {-8060, Throw<EFax>},
    {-8061, Throw<EFax>},
    {-8062, Throw<EFax>},
    {-8063, Throw<EFax>},
    {-8064, Throw<EFax>},
    {-8065, Throw<EFax>},
    {-8066, Throw<EFax>},
    {-8067, Throw<EFax>},
    {-8068, Throw<EFax>},
    {-8069, Throw<EFax>},
    {-8070, Throw<EFax>},
    {-13928, Throw<ETapi>},
    {-13929, Throw<ETapi>},
    {-13930, Throw<ETapi>},
    {-13931, Throw<ETapi>},
    {-13932, Throw<ETapi>},
    {-13933, Throw<ETapi>},
    {-13935, Throw<ETapi>},
    {-13936, Throw<ETapi>},
    {-13942, Throw<ETapi>},
    {-13980, Throw<ERas>},
};

// The telephony line errors: -13801 to -13886 without -13804 and -13849.
bool IsTapiLineError(int code) { return code <= -13801 && code >= -13886 && code != -13804 && code != -13849; }

}  // namespace

int RaiseOnError(const TComponent* component, int code)
{
    if (code >= 0 || (component && component->Loading())) return code;
    for (const auto& entry : codeClasses)
        if (entry.code == code) entry.raise(code);
    if (IsTapiLineError(code)) throw ETapi(code);
    if (code <= -2 && code >= -162) {
        if (code == ecOutOfMemory) throw std::bad_alloc();
        throw EInOutError(ErrorText(static_cast<std::int16_t>(-code)), -code);
    }
    throw EVeltException(std::string("Velt exception"));
}

std::string ErrorText(std::int16_t code)
{
    const int magnitude = code < 0 ? -static_cast<int>(code) : code;
    std::string text = CutText(ErrorStrings().GetString(static_cast<std::uint32_t>(magnitude)));
    if (text.empty()) {
        // The system's own description; none for numbers it does not know.
        if (const std::string system = SystemErrorDescription(magnitude); !system.empty())
            text = CutText(CollapseWhitespace(system));
    }
    return text;
}

std::int32_t StrToInt(const std::string& text)
{
    const auto fail = [&]() -> std::int32_t { throw EConvertError("'" + text + "' is not a valid integer value"); };
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return fail();
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return fail();
        value = value * base + digit;
        if (value > 0x100000000ll) return fail();
    }
    if (negative) value = -value;
    // Hexadecimal texts may spell the 32-bit pattern of a negative number.
    if (base == 16 && !negative && value <= 0xFFFFFFFFll)
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    if (value < INT32_MIN || value > INT32_MAX) return fail();
    return static_cast<std::int32_t>(value);
}

// The GNU C library describes an error number without formatting unknown ones
// as "Unknown error N", so an unknown number gives no text.
#include "serial/SystemInfo.h"

#include <cstring>

std::string SystemErrorDescription(int code)
{
    const char* text = strerrordesc_np(code);
    return text ? text : "";
}

#include "TermiosMapping.h"

namespace {

struct TRate {
    std::uint32_t baud;
    speed_t constant;
};

constexpr TRate rates[] = {
    {50, B50},           {75, B75},         {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},       {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600}, {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000},
};

}  // namespace

speed_t BaudConstant(std::uint32_t baud)
{
    for (const auto& r : rates)
        if (r.baud == baud) return r.constant;
    return 0;
}

bool IsCustomBaud(std::uint32_t baud) { return baud == 45450 || baud == 93750 || baud == 187500; }

int ControlBlockToTermios(const TDeviceControlBlock& block, termios& t, bool& customBaud)
{
    customBaud = false;
    speed_t speed = BaudConstant(block.BaudRate);
    if (speed == 0) {
        if (!IsCustomBaud(block.BaudRate)) return ecBaudRate;
        customBaud = true;
        speed = B38400;
    }
    tcflag_t size;
    switch (block.ByteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return ecByteSize;
    }
    if (block.Parity > 4) return ecDefault;

    cfmakeraw(&t);
    t.c_iflag &= ~(PARMRK | INPCK | IGNPAR | ISTRIP | IXON | IXOFF | IXANY);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | size;
    switch (block.Parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;  // mark
    case 4: t.c_cflag |= PARENB | CMSPAR; break;           // space
    default: break;
    }
    if (block.StopBits != TDeviceControlBlock::OneStopBit) t.c_cflag |= CSTOPB;
    // The driver checks parity and marks a bad character as FF 00 X (and a
    // data byte FF as FF FF, ISTRIP being clear): the dispatcher decodes it.
    if (block.ParityCheck) t.c_iflag |= INPCK | PARMRK;
    // Linux knows one RTS/CTS handshake for both directions.
    if (block.OutxCtsFlow || block.RtsControl == TDeviceControlBlock::RtsHandshake) t.c_cflag |= CRTSCTS;
    if (block.OutX) t.c_iflag |= IXON;
    if (block.InX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(block.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(block.XoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return ecOK;
}

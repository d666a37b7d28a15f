#include "DeviceControlBlock.h"

#include "serial/VeltMisc.h"

namespace win32dcb {

TDeviceControlBlock ToBlock(const DCB& dcb)
{
    TDeviceControlBlock b;
    b.BaudRate = dcb.BaudRate;
    b.Binary = dcb.fBinary != 0;
    b.ParityCheck = dcb.fParity != 0;
    b.OutxCtsFlow = dcb.fOutxCtsFlow != 0;
    b.OutxDsrFlow = dcb.fOutxDsrFlow != 0;
    b.DtrControl = static_cast<std::uint8_t>(dcb.fDtrControl);
    b.DsrSensitivity = dcb.fDsrSensitivity != 0;
    b.TxContinueOnXoff = dcb.fTXContinueOnXoff != 0;
    b.OutX = dcb.fOutX != 0;
    b.InX = dcb.fInX != 0;
    b.NullStrip = dcb.fNull != 0;
    b.RtsControl = static_cast<std::uint8_t>(dcb.fRtsControl);
    b.XonLim = dcb.XonLim;
    b.XoffLim = dcb.XoffLim;
    b.ByteSize = dcb.ByteSize;
    b.Parity = dcb.Parity;
    b.StopBits = dcb.StopBits;
    b.XonChar = dcb.XonChar;
    b.XoffChar = dcb.XoffChar;
    return b;
}

int FromBlock(const TDeviceControlBlock& block, DCB& dcb)
{
    if (block.ByteSize < 5 || block.ByteSize > 8) return ecByteSize;
    if (block.Parity > SPACEPARITY || block.StopBits > TWOSTOPBITS || block.DtrControl > DTR_CONTROL_HANDSHAKE ||
        block.RtsControl > RTS_CONTROL_TOGGLE || block.XonLim > 0xFFFF || block.XoffLim > 0xFFFF)
        return ecDefault;
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = block.BaudRate;
    dcb.fBinary = TRUE;  // the only mode the system supports
    dcb.fParity = block.ParityCheck;
    dcb.fOutxCtsFlow = block.OutxCtsFlow;
    dcb.fOutxDsrFlow = block.OutxDsrFlow;
    dcb.fDtrControl = block.DtrControl;
    dcb.fDsrSensitivity = block.DsrSensitivity;
    dcb.fTXContinueOnXoff = block.TxContinueOnXoff;
    dcb.fOutX = block.OutX;
    dcb.fInX = block.InX;
    dcb.fErrorChar = block.ParityCheck;
    dcb.ErrorChar = ErrorChar;
    dcb.fNull = block.NullStrip;
    dcb.fRtsControl = block.RtsControl;
    dcb.fAbortOnError = FALSE;  // an error must not stall every later read and write
    dcb.XonLim = static_cast<WORD>(block.XonLim);
    dcb.XoffLim = static_cast<WORD>(block.XoffLim);
    dcb.ByteSize = block.ByteSize;
    dcb.Parity = block.Parity;
    dcb.StopBits = block.StopBits;
    dcb.XonChar = block.XonChar;
    dcb.XoffChar = block.XoffChar;
    return ecOK;
}

}  // namespace win32dcb

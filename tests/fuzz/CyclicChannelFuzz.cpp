// The cyclic data decoder and the command channel's handshake on any
// sequence of received Data_Exchange answers: each piece between 0xFF bytes is
// one answer; the channel always has a command queued so that every state is
// reached.
#include "core/CommandChannel.h"
#include "core/CyclicData.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TCommandChannel channel;
    TByteString out = TByteString::Filled(16);
    for (const std::string& piece : FuzzPieces(data, size, '\xFF')) {
        const TByteString answer = FuzzBytes(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
        for (int k = 0; k < 8; ++k)
            if (cyclic::HasModuleBlock(answer, k)) (void)cyclic::DecodeModuleBlock(answer, k);
        channel.QueueCommand(static_cast<std::uint8_t>(piece.size() % 9), TByteString{0x12, 0x01});
        if (const auto reply = cyclic::ReadChannel(answer)) {
            if (channel.TakeReply(*reply, out).channelFree) (void)channel.SendNextCommand(out);
        }
    }
    return 0;
}

// SPDX-License-Identifier: Apache-2.0
// libFuzzer target for the protocol decoder: the input is cut into arrivals by its own bytes and
// fed to a receiver of each side. Whatever comes in, the decoder must not crash, must keep no
// more than its bound, and must hand a side only what that side receives.
#include "common/protocol.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

// The receiver's order (one exclusive command, each kind once) is the unit test's order table.
void checkBatch(Proto::Side side, const QList<Proto::Message>& batch)
{
    for (const Proto::Message& m : batch) {
        // A side never acts on what only the other side receives.
        check((m.kind < Proto::Kind::CNameReply) == (side == Proto::Side::Agent));
        check(!m.malformed || m.value.isEmpty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    for (Proto::Side side : {Proto::Side::Agent, Proto::Side::Console}) {
        Proto::Decoder d(side);
        // Byte 0x01 marks where the transport cuts the stream.
        for (const QByteArray& arrival : input.split('\x01')) {
            checkBatch(side, d.feed(arrival));
            check(d.pending() <= Proto::MaxCarryOver);
        }
        checkBatch(side, d.flush());
        check(d.pending() == 0);
        checkBatch(side, Proto::Decoder::decodeWhole(side, input));
    }
    return 0;
}

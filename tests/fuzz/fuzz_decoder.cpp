// SPDX-License-Identifier: Apache-2.0
// libFuzzer target for the protocol decoder: the input is cut into arrivals by its own bytes and
// fed to a receiver of each side. Whatever comes in, the decoder must not crash, must keep no
// more than its bound, and a batch must respect the receiver's rules.
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

void checkBatch(Proto::Side side, const QList<Proto::Message>& batch)
{
    int exclusive = 0;
    for (const Proto::Message& m : batch) {
        const bool agentKind = m.kind < Proto::Kind::CNameReply;
        check(agentKind == (side == Proto::Side::Agent));
        check(!m.malformed || m.value.isEmpty());
        if (m.kind == Proto::Kind::Shutdown || m.kind == Proto::Kind::Reboot ||
            m.kind == Proto::Kind::Lock || m.kind == Proto::Kind::Unlock) {
            ++exclusive;
        }
    }
    check(exclusive <= 1);
    for (qsizetype i = 0; i < batch.size(); ++i) {
        for (qsizetype j = i + 1; j < batch.size(); ++j) {
            check(batch[i].kind != batch[j].kind);
        }
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

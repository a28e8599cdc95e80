// What a ping tool might print: the latency read is a whole number within what an echo can take.
#include "ping/PingOutput.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const int latency =
        PingOutput::averageMs(QString::fromLatin1(reinterpret_cast<const char *>(data), int(size)));
    if (latency < PingOutput::unreadable)
        __builtin_trap();
    return 0;
}

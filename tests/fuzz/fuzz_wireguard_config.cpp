// A configuration as the service might send it: a text the reader takes is written with the MTU
// forced, and what is written reads as valid again.
#include "vpn/WireGuardConfig.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    const WireGuardConfig config = WireGuardConfig::read(text);
    if (!config.isValid())
        return 0;
    const QByteArray written = config.fileText();
    if (!WireGuardConfig::read(written).isValid() || written.contains('\0'))
        __builtin_trap();
    return 0;
}

// The listening-port box: the number rounded down must be a TCP port, 1 to 65535; anything else is
// refused before the window tries to listen.
#include "fuzz_text.h"
#include "platform/number_text.h"
#include "tcpserver/socket.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString typed = fuzz::text(data, size);
    Socket socket;
    const auto port = floorToInt32(typed);
    const long accepted = port && socket.setLocalPort(*port) ? socket.localPort() : 0;
    const long expected = fuzz::inRange(fuzz::decimal(typed), 1, 65535, true);
    if (accepted != expected) {
        std::fprintf(stderr, "listening port \"%s\": %ld, expected %ld (0: refused)\n", qPrintable(typed),
                     accepted, expected);
        std::abort();
    }
    return 0;
}

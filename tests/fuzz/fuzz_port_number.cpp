// The port box: every "COM" is taken out and the rest read as a number, rounded half to even; the
// window opens that COM number if it is 1 or more and fits in 16 bits, and no port otherwise.
#include "fuzz_text.h"
#include "platform/number_text.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString typed = fuzz::text(data, size);
    const QString number = QString(typed).remove(QStringLiteral("COM"));
    const auto value = toInt16(number);
    const long opened = value && *value >= 1 ? *value : 0;
    const long expected = fuzz::inRange(fuzz::decimal(number), 1, std::numeric_limits<qint16>::max());
    // Where a value is read at all, it is the rounded number (also below 1, where no port opens).
    const bool valueRight = !value || fuzz::inRange(fuzz::decimal(number), std::numeric_limits<qint16>::min(),
                                                    std::numeric_limits<qint16>::max()) == *value;
    if (opened != expected || !valueRight) {
        std::fprintf(stderr, "port text \"%s\": opens COM%ld, expected COM%ld (0: none)\n", qPrintable(typed),
                     opened, expected);
        std::abort();
    }
    return 0;
}

// The settings string the window builds from the baud-rate box: "<baud>,N,8,1". Accepted exactly when
// the baud rate is a plain decimal number from 1 to the largest 32-bit value; a rejected string
// leaves the port as it was.
#include "fuzz_text.h"
#include "serial/serial_port.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {
bool expectedAccepted(const QString &settings)
{
    const QString tail = QStringLiteral(",N,8,1");
    if (!settings.endsWith(tail) || settings.size() == tail.size())
        return false;
    qint64 baud = 0;
    for (QChar c : QStringView(settings).chopped(tail.size())) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        baud = std::min<qint64>(baud * 10 + (c.unicode() - u'0'), qint64(1) << 40);
    }
    return baud >= 1 && baud <= std::numeric_limits<qint32>::max();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString typed = fuzz::text(data, size);
    // Both what the window passes (the box's text with the line format appended) and the raw text.
    for (const QString &settings : {typed + QStringLiteral(",N,8,1"), typed}) {
        SerialPort port([](int) { return QString(); });
        const bool accepted = port.setSettings(settings);
        const bool expected = expectedAccepted(settings);
        const bool consistent = accepted ? port.settings() == settings
                                         : port.settings() == QStringLiteral("9600,N,8,1") &&
                                               port.lastError() == SerialPort::Error::InvalidProperty;
        if (accepted != expected || !consistent) {
            std::fprintf(stderr, "settings \"%s\": accepted %d, expected %d, kept \"%s\"\n",
                         qPrintable(settings), accepted, expected, qPrintable(port.settings()));
            std::abort();
        }
    }
    return 0;
}

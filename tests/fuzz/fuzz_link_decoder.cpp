// Received bytes are decoded as they arrive, in reads of any size: the text must be the same as the
// code page's converter decoding everything at once, whatever the bytes and wherever the reads end.
#include "platform/link_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte says how many reads; the next ones where they end; the rest is the line.
    const size_t cutCount = data[0] % 16;
    if (size < 1 + cutCount)
        return 0;
    const QByteArrayView bytes(data + 1 + cutCount, qsizetype(size - 1 - cutCount));
    std::vector<qsizetype> cuts;
    for (size_t i = 0; i < cutCount; ++i)
        cuts.push_back(bytes.isEmpty() ? 0 : data[1 + i] % (bytes.size() + 1));
    std::sort(cuts.begin(), cuts.end());

    // The converter itself, at once: the decoder's own table must say what it says.
    QStringDecoder converter("GBK");
    const QString whole = converter.decode(bytes);
    LinkDecoder decoder;
    QString pieces;
    qsizetype from = 0;
    for (qsizetype cut : cuts) {
        pieces += decoder.decode(bytes.sliced(from, cut - from));
        from = cut;
    }
    pieces += decoder.decode(bytes.sliced(from));
    if (pieces != whole) {
        std::fprintf(stderr, "decoded in %zu pieces: %s\nat once: %s\n", cuts.size() + 1, qPrintable(pieces),
                     qPrintable(whole));
        std::abort();
    }
    return 0;
}

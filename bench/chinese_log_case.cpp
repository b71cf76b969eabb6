#include "chinese_log_case.h"

#include "loop_gauge.h"
#include "resident_memory.h"
#include "serial_session.h"

#include "platform/link_codec.h"
#include "textbox/text_box.h"

#include <thread>
#include <unistd.h>

namespace {
constexpr qint64 kLogBytes = 16 * 1024 * 1024;
constexpr auto kTimeout = std::chrono::seconds(90);

// Numbered lines of Chinese text in the link encoding, about kLogBytes in all.
QByteArray chineseLog()
{
    const QString words = QStringLiteral("模块返回数据：无线网络已连接，正在获取地址，信号强度良好。");
    LinkEncoder encoder;
    QByteArray log;
    log.reserve(kLogBytes + 256);
    for (int line = 0; log.size() < kLogBytes; ++line)
        log += encoder.encode(QStringLiteral("%1 %2\r\n").arg(line, 8, 10, QLatin1Char('0')).arg(words));
    return log;
}

void writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n <= 0)
            return;
        written += n;
    }
}
} // namespace

Figures ChineseLogCase::run()
{
    const QByteArray log = chineseLog();
    const QString expected = LinkDecoder().decode(log);
    const qsizetype shown = QString(expected).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).size();

    SerialSession session;
    const TextBox *box = session.receiveBox();
    LoopGauge gauge;
    gauge.settle();
    const qint64 idle = ResidentMemory::now();
    std::thread writer([&] { writeAll(session.pty().master(), log); });
    const bool whole = gauge.runUntil([&] { return box->length() == shown; }, kTimeout);
    writer.join();
    if (!whole)
        qFatal("the Chinese log stalled at %lld characters", static_cast<long long>(box->length()));

    Figures figures;
    figures.set(QStringLiteral("rss_per_byte"), double(ResidentMemory::now() - idle) / double(log.size()));
    figures.set(QStringLiteral("kept"), box->text() == expected);
    return figures;
}

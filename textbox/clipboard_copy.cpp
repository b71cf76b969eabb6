#include "textbox/clipboard_copy.h"

#include "textbox/huge_pages.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <new>

ClipboardCopy &ClipboardCopy::shared()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    auto *copy = clipboard->findChild<ClipboardCopy *>(QString(), Qt::FindDirectChildrenOnly);
    if (!copy) {
        copy = new ClipboardCopy(clipboard);
        connect(qApp, &QCoreApplication::aboutToQuit, copy, &ClipboardCopy::finish);
    }
    return *copy;
}

ClipboardCopy::ClipboardCopy(QObject *parent) : QObject(parent)
{
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &ClipboardCopy::gatherSlice);
}

void ClipboardCopy::start(const TextStore &store, qsizetype position, qsizetype count, QClipboard::Mode mode,
                          std::function<void()> failed)
{
    finish();
    m_failed = std::move(failed);
    try {
        if (count <= kSliceCharacters) {
            QGuiApplication::clipboard()->setText(store.mid(position, count), mode);
            return;
        }
        m_snapshot = store;
        m_text = QString();
        m_text.reserve(count);
    } catch (const std::bad_alloc &) {
        abandon();
        return;
    }
    HugePages::advise(m_text.data(), count * qsizetype(sizeof(QChar)));
    m_position = position;
    m_remaining = count;
    m_mode = mode;
    m_slices.start();
}

void ClipboardCopy::finish()
{
    while (isGathering())
        gatherSlice();
}

void ClipboardCopy::gatherSlice()
{
    const qsizetype slice = std::min(m_remaining, kSliceCharacters);
    m_snapshot.appendMid(m_text, m_position, slice);
    m_position += slice;
    m_remaining -= slice;
    if (m_remaining > 0)
        return;
    m_slices.stop();
    m_snapshot.clear();
    try {
        QGuiApplication::clipboard()->setText(m_text, m_mode);
    } catch (const std::bad_alloc &) {
        abandon();
        return;
    }
    m_text = QString();
}

void ClipboardCopy::abandon()
{
    m_slices.stop();
    m_snapshot.clear();
    m_text = QString();
    m_remaining = 0;
    if (const auto failed = std::exchange(m_failed, nullptr))
        failed();
}

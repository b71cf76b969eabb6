#include "textbox/clipboard_copy.h"

#include "textbox/huge_pages.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <new>

ClipboardCopy &ClipboardCopy::shared()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    auto *copy = clipboard->findChild<ClipboardCopy *>(QString(), Qt::FindDirectChildrenOnly);
    if (!copy) {
        copy = new ClipboardCopy(clipboard);
        connect(qApp, &QCoreApplication::aboutToQuit, copy, &ClipboardCopy::finishAll);
    }
    return *copy;
}

ClipboardCopy::ClipboardCopy(QObject *parent) : QObject(parent)
{
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &ClipboardCopy::gatherSlices);
}

void ClipboardCopy::start(const TextStore &store, qsizetype position, qsizetype count, QClipboard::Mode mode,
                          std::function<void()> failed)
{
    // Superseded, not failed: nobody is told.
    pending(mode) = Pending();
    Pending &copy = pending(mode);
    copy.failed = std::move(failed);
    try {
        if (count <= kSliceCharacters) {
            QGuiApplication::clipboard()->setText(store.mid(position, count), mode);
            return;
        }
        copy.snapshot = store.snapshot(position, count);
        copy.text.reserve(count);
    } catch (const std::bad_alloc &) {
        abandon(mode);
        return;
    }
    HugePages::advise(copy.text.data(), count * qsizetype(sizeof(QChar)));
    copy.active = true;
    m_slices.start();
}

void ClipboardCopy::finish(QClipboard::Mode mode)
{
    while (pending(mode).active)
        gatherSlice(mode);
}

void ClipboardCopy::finishAll()
{
    for (int mode = 0; mode < kModes; ++mode)
        finish(QClipboard::Mode(mode));
}

void ClipboardCopy::gatherSlices()
{
    bool gathering = false;
    for (int mode = 0; mode < kModes; ++mode)
        gathering =
            (pending(QClipboard::Mode(mode)).active && !gatherSlice(QClipboard::Mode(mode))) || gathering;
    if (!gathering)
        m_slices.stop();
}

bool ClipboardCopy::gatherSlice(QClipboard::Mode mode)
{
    Pending &copy = pending(mode);
    const qsizetype gathered = copy.text.size();
    copy.snapshot.appendTo(copy.text, gathered, std::min(copy.snapshot.size() - gathered, kSliceCharacters));
    if (copy.text.size() < copy.snapshot.size())
        return false;
    try {
        QGuiApplication::clipboard()->setText(copy.text, mode);
    } catch (const std::bad_alloc &) {
        abandon(mode);
        return true;
    }
    copy = Pending();
    return true;
}

void ClipboardCopy::abandon(QClipboard::Mode mode)
{
    const std::function<void()> failed = std::exchange(pending(mode).failed, nullptr);
    pending(mode) = Pending();
    if (failed)
        failed();
}

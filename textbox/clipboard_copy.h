#pragma once

#include "textbox/text_store.h"

#include <QClipboard>
#include <QObject>
#include <QTimer>

#include <functional>

// Puts part of a box's text on the clipboard. A selection of megabytes is gathered a slice per
// event-loop turn from a snapshot taken when the copy starts, so the window keeps answering while a
// whole log is copied (most of that time goes to touching the fresh pages of the copy); a small
// selection goes on the clipboard at once.
class ClipboardCopy : public QObject
{
    Q_OBJECT

public:
    // Characters gathered in one turn: a few milliseconds' work.
    static constexpr qsizetype kSliceCharacters = 2 * 1024 * 1024;

    // The one copy of the application's clipboard: every box copies through it, so the last copy made
    // anywhere wins, and a paste anywhere waits for the copy being gathered. A copy still being
    // gathered when the application quits is completed.
    static ClipboardCopy &shared();

    // Starts a copy; one still being gathered is completed first. `failed` is called when the memory
    // for the copy cannot be had: the clipboard then stays as it was.
    void start(const TextStore &store, qsizetype position, qsizetype count, QClipboard::Mode mode,
               std::function<void()> failed);
    // Completes a copy still being gathered, so that what comes next (a paste) finds it.
    void finish();
    bool isGathering() const { return m_slices.isActive(); }

private:
    explicit ClipboardCopy(QObject *parent);
    void gatherSlice();
    void abandon();

    QTimer m_slices;
    TextStore m_snapshot; // shares the chunks' text with the box until the box changes them
    QString m_text;
    qsizetype m_position = 0;
    qsizetype m_remaining = 0;
    QClipboard::Mode m_mode = QClipboard::Clipboard;
    std::function<void()> m_failed;
};

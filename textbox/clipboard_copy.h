#pragma once

#include "textbox/text_store.h"

#include <QClipboard>
#include <QObject>
#include <QTimer>

#include <array>
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

    // Starts a copy into `mode`; one still being gathered for the same mode is abandoned, since this
    // one replaces it (a copy for the other mode goes on). `failed` is called when the memory for the
    // copy cannot be had: the clipboard then stays as it was.
    void start(const TextStore &store, qsizetype position, qsizetype count, QClipboard::Mode mode,
               std::function<void()> failed);
    // Completes the copy still being gathered for `mode`, so that what comes next (a paste) finds it.
    void finish(QClipboard::Mode mode);
    void finishAll();
    bool isGathering() const { return m_slices.isActive(); }

private:
    // A copy being gathered.
    struct Pending
    {
        TextStore::Snapshot snapshot; // shares the chunks' text with the box
        QString text;
        std::function<void()> failed;
        bool active = false;
    };
    // The clipboard and the X11 selection (and macOS's find buffer), each with a copy of its own.
    static constexpr int kModes = 3;

    explicit ClipboardCopy(QObject *parent);
    void gatherSlices();
    // Gathers one slice of the copy for `mode`; true when it is complete.
    bool gatherSlice(QClipboard::Mode mode);
    void abandon(QClipboard::Mode mode);
    Pending &pending(QClipboard::Mode mode) { return m_pending[size_t(mode)]; }

    QTimer m_slices;
    std::array<Pending, kModes> m_pending;
};

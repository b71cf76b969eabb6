#pragma once

#include "platform/clock.h"
#include "platform/input_box.h"
#include "platform/message_box.h"
#include "platform/pause.h"

#include <QList>
#include <QStringList>

#include <chrono>
#include <deque>
#include <functional>

// What a person would do at a dialog, scripted; plus a clock and a pause the test can see.

class FakeMessageBox final : public MessageBox
{
public:
    struct Shown
    {
        QString text;
        Icon icon;
    };
    void show(const QString &text, Icon icon) override { shown.append({text, icon}); }
    QStringList texts() const;

    QList<Shown> shown;
};

class ScriptedInputBox final : public InputBox
{
public:
    struct Asked
    {
        QString prompt;
        QString title;
        QString defaultAnswer;
    };
    // Answers, one per question: each gets the offered default and returns what the person leaves.
    using Answer = std::function<QString(const QString &defaultAnswer)>;
    static Answer acceptDefault()
    {
        return [](const QString &offered) { return offered; };
    }
    static Answer cancel() { return type(QString()); }
    static Answer type(const QString &text)
    {
        return [text](const QString &) { return text; };
    }

    QString ask(const QString &prompt, const QString &title, const QString &defaultAnswer) override;

    std::deque<Answer> answers;
    QList<Asked> asked;
};

class RecordingPause final : public Pause
{
public:
    void pause(std::chrono::milliseconds duration) override;

    bool reallyWait = false;
    QList<std::chrono::milliseconds> pauses;
    // Run at the start of each pause, to look at the world as it stands then.
    std::function<void()> onPause;
};

class FixedClock final : public Clock
{
public:
    QDateTime now() const override { return time; }
    QDateTime time = QDateTime(QDate(2014, 12, 1), QTime(7, 56, 49));
};

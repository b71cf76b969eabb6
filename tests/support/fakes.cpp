#include "support/fakes.h"

#include <thread>

QStringList FakeMessageBox::texts() const
{
    QStringList result;
    for (const Shown &s : shown)
        result.append(s.text);
    return result;
}

ScriptedInputBox::Answer ScriptedInputBox::acceptDefault()
{
    return [](const QString &defaultAnswer) { return defaultAnswer; };
}

ScriptedInputBox::Answer ScriptedInputBox::cancel()
{
    return [](const QString &) { return QString(); };
}

ScriptedInputBox::Answer ScriptedInputBox::type(const QString &text)
{
    return [text](const QString &) { return text; };
}

QString ScriptedInputBox::ask(const QString &prompt, const QString &title, const QString &defaultAnswer)
{
    asked.append({prompt, title, defaultAnswer});
    if (answers.empty())
        return {};
    const Answer answer = answers.front();
    answers.pop_front();
    return answer(defaultAnswer);
}

void RecordingPause::pause(std::chrono::milliseconds duration)
{
    pauses.append(duration);
    if (onPause)
        onPause();
    if (reallyWait)
        std::this_thread::sleep_for(duration);
}

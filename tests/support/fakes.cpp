#include "support/fakes.h"

#include <thread>

QStringList FakeMessageBox::texts() const
{
    QStringList result;
    for (const Shown &s : shown)
        result.append(s.text);
    return result;
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

#include "case_runner.h"

#include "accessible_ingest_case.h"
#include "big_log_case.h"
#include "chinese_log_case.h"
#include "click_case.h"
#include "serial_ingest_case.h"
#include "startup_case.h"
#include "tcp_ingest_case.h"

#include <cstdio>
#include <map>

namespace {
using Case = Figures (*)();

const std::map<QString, Case> &cases()
{
    static const std::map<QString, Case> all = {
        {QStringLiteral("serial-flood"), &SerialIngestCase::flood},
        {QStringLiteral("serial-flat"), &SerialIngestCase::flatCost},
        {QStringLiteral("serial-chinese"), &ChineseLogCase::run},
        {QStringLiteral("tcp-flood"), &TcpIngestCase::flood},
        {QStringLiteral("tcp-flat"), &TcpIngestCase::flatCost},
        {QStringLiteral("startup"), &StartupCase::run},
        {QStringLiteral("click"), &ClickCase::run},
        {QStringLiteral("big-log"), &BigLogCase::run},
        {QStringLiteral("serial-flood-a11y"), &AccessibleIngestCase::serial},
        {QStringLiteral("tcp-flood-a11y"), &AccessibleIngestCase::tcp},
    };
    return all;
}
} // namespace

bool CaseRunner::exists(const QString &name)
{
    return cases().count(name) > 0;
}

int CaseRunner::run(const QString &name)
{
    const Figures figures = cases().at(name)();
    std::fputs(figures.toText().toUtf8().constData(), stdout);
    std::fflush(stdout);
    return 0;
}

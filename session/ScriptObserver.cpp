#include "session/ScriptObserver.h"

#include <algorithm>

QString ScriptOutcome::text() const
{
    switch (kind) {
    case Done: return QStringLiteral("done");
    case ServerError: return detail;
    case Refused: return QStringLiteral("not sent: ") + detail;
    case ConnectionError: return detail;
    case TimedOut: return QStringLiteral("timed out");
    case Cancelled:
        return detail.isEmpty() ? QStringLiteral("cancelled") : QStringLiteral("cancelled: ") + detail;
    case Skipped: return QStringLiteral("skipped: another action came first");
    }
    return detail;
}

void ScriptReporter::addObserver(ScriptObserver* observer)
{
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void ScriptReporter::removeObserver(ScriptObserver* observer)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

// Tells each observer registered now; one removed by an earlier one meanwhile is passed over.
template <class Call>
static void TellAll(const std::vector<ScriptObserver*>& observers, Call call)
{
    const auto snapshot = observers;
    for (ScriptObserver* o : snapshot)
        if (std::find(observers.begin(), observers.end(), o) != observers.end())
            call(o);
}

void ScriptReporter::begin(const ScriptLabel& label)
{
    label_ = label;
    outcome_ = ScriptOutcome();
    active_ = true;
    failed_ = false;
    stepMark_ = 0;
    TellAll(observers_, [this](ScriptObserver* o) { o->scriptStarted(label_); });
}

void ScriptReporter::fail(ScriptOutcome::Kind kind, const QString& detail)
{
    if (!active_ || failed_)
        return;
    failed_ = true;
    outcome_ = {kind, detail};
}

void ScriptReporter::endStep(const ScriptOutcome& outcome)
{
    const int mark = stepMark_;
    stepMark_ = 0;
    if (!active_ || mark == 0)
        return;
    TellAll(observers_, [&](ScriptObserver* o) { o->stepEnded(label_, mark, outcome); });
}

void ScriptReporter::end()
{
    if (!active_)
        return;
    active_ = false;
    stepMark_ = 0;
    const ScriptLabel label = label_;
    const ScriptOutcome outcome = outcome_;
    TellAll(observers_, [&](ScriptObserver* o) { o->scriptEnded(label, outcome); });
}

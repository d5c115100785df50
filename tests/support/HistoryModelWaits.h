#pragma once

#include "views/HistoryModel.h"

#include <QEventLoop>
#include <QTimer>

// Waiting for the history model's worker, on the model's own signals: for tests and benchmarks,
// which drive the model without a running event loop.
namespace brivet::test {

namespace detail {

template <typename Signal, typename Done>
bool waitOn(HistoryModel& model, Signal signal, Done done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QObject::connect(&model, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    loop.exec();
    return done();
}

} // namespace detail

// Until the search in flight, if any, has been swapped in; false when the time ran out.
[[nodiscard]] inline bool waitForSearch(HistoryModel& model, int timeoutMs = 60000)
{
    return detail::waitOn(
        model, &HistoryModel::searchingChanged, [&] { return !model.searching(); }, timeoutMs);
}

// Until the first rows of the current filter's answer are shown; false when the time ran out.
[[nodiscard]] inline bool waitForFirstPage(HistoryModel& model, int timeoutMs = 60000)
{
    return detail::waitOn(
        model, &HistoryModel::firstPageReadyChanged, [&] { return model.firstPageReady(); },
        timeoutMs);
}

} // namespace brivet::test

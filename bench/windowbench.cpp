// The search window listing every entity of the large fixture, offscreen, as the user's
// "Najít" with an empty name does it: time to the first rows shown, to the whole list, the
// longest wait between two turns of the event loop while it fills (the list scrolled meanwhile),
// the memory the listed lines hold and from Stop to the window being idle again.
#include "benchmarks.h"

#include "db/database.h"
#include "entities/frmvyhledavani.h"
#include "shell/appstate.h"
#include "ui/idlehook.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFile>
#include <QAbstractItemView>
#include <QScrollBar>
#include <QTimer>

using namespace verna;

namespace {

// The resident memory of this process now, in kB (0 where /proc does not tell).
qint64 residentKb()
{
    return processStatusKb("VmRSS");
}

} // namespace

void benchSearchWindow(BenchContext &context, db::Database &database, int entityCount)
{
    ui::installIdleHook(database);
    shell::AppState state(database);
    entities::frmVyhledavani window(state);
    window.show();
    auto *list = window.findChild<QAbstractItemView *>(QStringLiteral("lstNalezeno"));
    auto *find = window.findChild<QAbstractButton *>(QStringLiteral("cmdHledat"));
    if (!list || !list->model() || !find) {
        context.table.check(QStringLiteral("search window: first rows of all entities"), QStringLiteral("< 0.5 s"), QStringLiteral("-"), false,
                            QStringLiteral("window controls not found"));
        return;
    }
    const auto shown = [list] { return list->model()->rowCount(); };

    // Whole listing; a timer notes when rows first show, the longest time between two of its
    // turns, and scrolls the list down as a user would while it fills.
    QElapsedTimer clock;
    qint64 firstRows = -1;
    qint64 lastTurn = 0;
    qint64 longestGap = 0;
    int scrolled = 0;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestGap = std::max(longestGap, now - lastTurn);
        lastTurn = now;
        if (firstRows < 0 && shown() > 0)
            firstRows = now;
        if (shown() > 0) {
            QScrollBar *bar = list->verticalScrollBar();
            const int before = bar->value();
            bar->setValue(bar->value() + bar->pageStep());
            scrolled += bar->value() != before ? 1 : 0;
        }
    });
    const qint64 residentBefore = residentKb();
    watch.start();
    clock.start();
    find->click(); // returns when the listing has ended
    const qint64 whole = clock.elapsed();
    watch.stop();
    const int listed = shown();
    const qint64 listMemoryKb = residentKb() - residentBefore;
    const QString lines = QStringLiteral("wall clock, offscreen; %1 lines").arg(listed);
    context.table.check(QStringLiteral("search window: first rows of all entities"), QStringLiteral("< 0.5 s"), QStringLiteral("%1 ms").arg(firstRows),
                        firstRows >= 0 && firstRows < 500 && listed >= entityCount,
                        lines + QStringLiteral("; the first rows shown while the rest is read"));
    context.table.info(QStringLiteral("search window: all entities listed"), QStringLiteral("%1 ms").arg(whole), lines);
    context.table.info(QStringLiteral("search window: memory of the listed lines"), QStringLiteral("%1 MB").arg(listMemoryKb / 1024),
                       QStringLiteral("resident memory grown while listing, the database's page cache included"));
    context.table.check(QStringLiteral("search window: longest wait for events while listing"), QStringLiteral("< 100 ms"),
                        QStringLiteral("%1 ms").arg(longestGap), longestGap < 100 && scrolled > 0,
                        QStringLiteral("wall clock between two turns of the event loop (a 1 ms timer), the list scrolled a page "
                                       "down %1 times meanwhile")
                            .arg(scrolled));

    // Stop pressed once the listing has begun to show rows (the search empties the list as it
    // starts): the time until the window is idle.
    qint64 pressed = -1;
    QTimer press;
    press.setInterval(5);
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (pressed < 0 && shown() > 0) {
            pressed = clock.elapsed();
            press.stop();
            find->click(); // the running listing's button is its Stop
        }
    });
    press.start();
    clock.restart();
    find->click();
    const qint64 stopped = clock.elapsed() - pressed;
    press.stop();
    context.table.check(QStringLiteral("search window: Stop"), QStringLiteral("< 100 ms"), QStringLiteral("%1 ms").arg(stopped),
                        pressed >= 0 && stopped < 100,
                        QStringLiteral("wall clock from the press to the end, pressed with %1 of %2 lines shown").arg(shown()).arg(listed));
    database.setIdleHook({});
}
